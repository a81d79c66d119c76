// The default registry backend: two SQLite files in WAL mode. HKEY_CURRENT_USER lives in the
// user's file, the other roots in the machine's. Every backend call is one transaction, so a
// call is all or nothing for every thread and process sharing the files, and a write whose
// call returned is in the WAL file before the call returns: killing the process afterwards
// cannot lose it. synchronous=NORMAL skips the fsync per commit, so only a power loss or a
// system crash may take back the last writes.

#include "Posix.h"
#include "RegistryStore.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <voplatform/RegistryBackend.h>

namespace voplatform {
namespace {

using store::Failure;
using store::foldedBlob;
using store::Query;
using store::Sql;
using store::StoreFile;

class SqliteRegistryBackend final : public RegistryBackend {
public:
   explicit SqliteRegistryBackend(const SqliteStoreFiles& files)
       : user_(files.userFile, false, true, files.busyTimeout),
         machine_(files.machineFile, files.machineReadOnly, false, files.busyTimeout) {}

   LSTATUS rootKey(HKEY hKey, KeyRef* root) override {
      for (const store::RootRow& row : store::kRoots) {
         if (row.handle == hKey) {
            *root = KeyRef{row.hive, row.id, 0};
            return ERROR_SUCCESS;
         }
      }
      return ERROR_INVALID_HANDLE;
   }

   LSTATUS openKey(KeyRef base, const KeyPath& path, bool forWriting, KeyRef* result) override {
      StoreFile& store = file(base);
      int64_t id = 0;
      const LSTATUS status = store.transact(walkMode(path), [&] {
         const LSTATUS found = walk(store, base, path, &id);
         return found == ERROR_SUCCESS && forWriting && !store.writable() ? ERROR_ACCESS_DENIED
                                                                          : found;
      });
      if (status != ERROR_SUCCESS)
         return status;
      *result = KeyRef{base.hive, id, base.depth + path.size()};
      return ERROR_SUCCESS;
   }

   LSTATUS createKey(KeyRef base, const KeyPath& path, KeyRef* result, bool* created) override {
      if (base.depth + path.size() > kMaxKeyDepth)
         return ERROR_INVALID_PARAMETER;
      StoreFile& store = file(base);
      int64_t id = base.id;
      bool isNew = false;
      const LSTATUS status = store.transact(StoreFile::Mode::Write, [&] {
         if (!store.writable())
            return ERROR_ACCESS_DENIED;
         requireKey(store, base.id);
         for (const RegName& name : path) {
            const std::string folded = foldedBlob(name);
            Query find(store, Sql::FindSubKey);
            find.bind(1, id).bind(2, folded);
            if (find.step()) {
               id = find.integer(0);
               isNew = false;
               continue;
            }
            Query insert(store, Sql::InsertKey);
            insert.bind(1, id).bindName(2, name).bind(3, folded);
            insert.step();
            id = store.lastInsertId();
            isNew = true;
         }
         return ERROR_SUCCESS;
      });
      if (status != ERROR_SUCCESS)
         return status;
      *result = KeyRef{base.hive, id, base.depth + path.size()};
      *created = isNew;
      return ERROR_SUCCESS;
   }

   LSTATUS queryValue(KeyRef key, const RegName& name, ValueData* value) override {
      StoreFile& store = file(key);
      return store.transact(StoreFile::Mode::Statement, [&] {
         Query q(store, Sql::QueryValue);
         q.bind(1, key.id).bind(2, foldedBlob(name));
         if (!q.step()) {
            requireKey(store, key.id);
            return ERROR_FILE_NOT_FOUND;
         }
         *value = ValueData{q.name(0), static_cast<DWORD>(q.integer(1)), q.blob(2)};
         return ERROR_SUCCESS;
      });
   }

   LSTATUS setValue(KeyRef key, const ValueData& value) override {
      StoreFile& store = file(key);
      return store.transact(StoreFile::Mode::Statement, [&] {
         Query q(store, Sql::SetValue);
         q.bind(1, key.id).bindName(2, value.name).bind(3, foldedBlob(value.name));
         q.bind(4, static_cast<int64_t>(value.type)).bind(5, value.bytes);
         q.step();
         return store.changes() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
      });
   }

   LSTATUS deleteValue(KeyRef base, const KeyPath& path, const RegName& name) override {
      StoreFile& store = file(base);
      return store.transact(StoreFile::Mode::Write, [&] {
         int64_t id = 0;
         const LSTATUS status = walk(store, base, path, &id);
         if (status != ERROR_SUCCESS)
            return status;
         Query q(store, Sql::DeleteValue);
         q.bind(1, id).bind(2, foldedBlob(name));
         q.step();
         return store.changes() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
      });
   }

   LSTATUS deleteTree(KeyRef base, const KeyPath& path) override {
      StoreFile& store = file(base);
      return store.transact(StoreFile::Mode::Write, [&] {
         int64_t id = 0;
         const LSTATUS status = walk(store, base, path, &id);
         if (status != ERROR_SUCCESS)
            return status;
         Query values(store, Sql::DeleteTreeValues);
         values.bind(1, id);
         values.step();
         Query keys(store, Sql::DeleteTreeKeys);
         keys.bind(1, id).bind(2, int64_t{!path.empty()});
         keys.step();
         return ERROR_SUCCESS;
      });
   }

   LSTATUS queryInfo(KeyRef key, KeyInfo* info) override {
      StoreFile& store = file(key);
      KeyInfo result;
      const LSTATUS status = store.transact(StoreFile::Mode::Read, [&] {
         requireKey(store, key.id);
         Query keys(store, Sql::CountSubKeys);
         keys.bind(1, key.id).step();
         result.subKeys = static_cast<DWORD>(keys.integer(0));
         result.maxSubKeyLen = static_cast<DWORD>(keys.integer(1));
         Query values(store, Sql::CountValues);
         values.bind(1, key.id).step();
         result.values = static_cast<DWORD>(values.integer(0));
         result.maxValueNameLen = static_cast<DWORD>(values.integer(1));
         result.maxValueLen = static_cast<DWORD>(values.integer(2));
         return ERROR_SUCCESS;
      });
      if (status == ERROR_SUCCESS)
         *info = result;
      return status;
   }

   LSTATUS enumKey(KeyRef key, DWORD index, RegName* name, EnumCursor* cursor) override {
      return enumRow(key, index, cursor, Sql::EnumKey, Sql::EnumKeyAfter,
                     [name](Query& row) { *name = row.name(0); });
   }

   LSTATUS enumValue(KeyRef key, DWORD index, ValueData* value, EnumCursor* cursor) override {
      return enumRow(key, index, cursor, Sql::EnumValue, Sql::EnumValueAfter, [value](Query& row) {
         *value = ValueData{row.name(0), static_cast<DWORD>(row.integer(2)), row.blob(3)};
      });
   }

   // The machine file commits first; a failing commit there rolls the user file back. Only a
   // kill between the two commits leaves one of them applied.
   LSTATUS batch(const std::function<void()>& body) override {
      try {
         return user_.batch([&] {
            const LSTATUS status = machine_.batch(body);
            if (status != ERROR_SUCCESS)
               throw Failure{status};
         });
      } catch (const Failure& failure) {
         return failure.status;
      }
   }

private:
   StoreFile& file(KeyRef key) { return key.hive == Hive::User ? user_ : machine_; }

   // Row index of a listing, handed to take: by the query after (parameters: key id, folded
   // name of the row before) when the cursor stands on the row before, else by the query at
   // (key id, index), which counts the rows before. Both give the folded name in column 1.
   template <class Take>
   LSTATUS enumRow(KeyRef key, DWORD index, EnumCursor* cursor, Sql at, Sql after, Take&& take) {
      StoreFile& store = file(key);
      const bool follows =
          cursor && index > 0 && cursor->key == key.id && cursor->index + 1 == index;
      return store.transact(StoreFile::Mode::Statement, [&] {
         Query q(store, follows ? after : at);
         q.bind(1, key.id);
         if (follows)
            q.bind(2, cursor->after);
         else
            q.bind(2, int64_t{index});
         if (!q.step()) {
            requireKey(store, key.id);
            return ERROR_NO_MORE_ITEMS;
         }
         take(q);
         if (cursor) {
            const std::vector<BYTE> folded = q.blob(1);
            *cursor = EnumCursor{key.id, index, std::string(folded.begin(), folded.end())};
         }
         return ERROR_SUCCESS;
      });
   }

   // A handle's key may have been deleted by another handle, thread or process since it was
   // opened.
   static void requireKey(StoreFile& store, int64_t id) {
      Query q(store, Sql::KeyExists);
      q.bind(1, id);
      if (!q.step())
         throw Failure{ERROR_KEY_DELETED};
   }

   // A walk of one level is one statement, which SQLite runs as a transaction of its own; a
   // longer one runs its statements in one transaction.
   static StoreFile::Mode walkMode(const KeyPath& path) {
      return path.size() > 1 ? StoreFile::Mode::Read : StoreFile::Mode::Statement;
   }

   // Finds the key at path below base one level at a time, with the same statement at every
   // depth. Keys never move, so a key found is a key that existed at that moment with that
   // path.
   static LSTATUS walk(StoreFile& store, KeyRef base, const KeyPath& path, int64_t* id) {
      int64_t current = base.id;
      for (const RegName& name : path) {
         Query q(store, Sql::FindSubKey);
         q.bind(1, current).bind(2, foldedBlob(name));
         if (!q.step()) {
            requireKey(store, base.id);
            return ERROR_FILE_NOT_FOUND;
         }
         current = q.integer(0);
      }
      if (path.empty())
         requireKey(store, base.id);
      *id = current;
      return ERROR_SUCCESS;
   }

   StoreFile user_;
   StoreFile machine_;
};

std::mutex gBackendMutex;
std::shared_ptr<RegistryBackend> gBackend;

} // namespace

SqliteStoreFiles defaultSqliteStoreFiles() {
   SqliteStoreFiles files;
   if (const char* dir = std::getenv("VOUTIL_REGISTRY_DIR"); dir && *dir) {
      files.userFile = std::string(dir) + "/user.sqlite";
      files.machineFile = std::string(dir) + "/machine.sqlite";
      return files;
   }
   // Without a home the user's file has no place: a shared directory such as /tmp would let
   // other users read or replace it.
   std::string config;
   if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
      config = xdg;
   else if (const std::string home = homeDirectory(); !home.empty())
      config = home + "/.config";
   files.userFile = config.empty() ? std::string() : config + "/voutil/registry/user.sqlite";
   files.machineFile = "/var/lib/voutil/registry/machine.sqlite";
   return files;
}

std::shared_ptr<RegistryBackend> makeSqliteRegistryBackend(const SqliteStoreFiles& files) {
   return std::make_shared<SqliteRegistryBackend>(files);
}

std::shared_ptr<RegistryBackend> registryBackend() {
   std::lock_guard<std::mutex> lock(gBackendMutex);
   if (!gBackend)
      gBackend = makeSqliteRegistryBackend(defaultSqliteStoreFiles());
   return gBackend;
}

std::shared_ptr<RegistryBackend> setRegistryBackend(std::shared_ptr<RegistryBackend> backend) {
   std::lock_guard<std::mutex> lock(gBackendMutex);
   std::swap(gBackend, backend);
   return backend;
}

} // namespace voplatform
