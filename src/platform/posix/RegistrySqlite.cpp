// The default registry backend: two SQLite files in WAL mode. HKEY_CURRENT_USER lives in the
// user's file, the other roots in the machine's. Every backend call is one transaction, so a
// call is all or nothing for every thread and process sharing the files, and a write whose
// call returned is in the WAL file before the call returns: killing the process afterwards
// cannot lose it. synchronous=NORMAL skips the fsync per commit, so only a power loss or a
// system crash may take back the last writes.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <locale.h>
#include <mutex>
#include <sqlite3.h>
#include <sx/SxString.h>
#include <sys/stat.h>
#include <thread>
#include <unordered_map>
#include <voplatform/RegistryBackend.h>

namespace voplatform {
namespace {

constexpr int kBusyTimeoutMs = 10000;

// Row ids of the predefined root keys; created with the schema, never deleted.
struct RootRow {
   HKEY handle;
   Hive hive;
   int64_t id;
   const char* name;
};
const RootRow kRoots[] = {
    {HKEY_CLASSES_ROOT, Hive::Machine, 1, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, Hive::User, 2, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, Hive::Machine, 3, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, Hive::Machine, 4, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, Hive::Machine, 5, "HKEY_CURRENT_CONFIG"},
};

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS regkey(
   id INTEGER PRIMARY KEY AUTOINCREMENT,
   parent INTEGER NOT NULL,
   name TEXT NOT NULL,
   folded TEXT NOT NULL,
   UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS regvalue(
   key INTEGER NOT NULL,
   name TEXT NOT NULL,
   folded TEXT NOT NULL,
   type INTEGER NOT NULL,
   data BLOB NOT NULL,
   PRIMARY KEY(key, folded)) WITHOUT ROWID;
INSERT OR IGNORE INTO regkey(id, parent, name, folded) VALUES
   (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
   (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'), (4, 0, 'HKEY_USERS', 'HKEY_USERS'),
   (5, 0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG');
)sql";

// Names compare as Windows compares them: by their upper-case form, whatever the locale.
std::string foldCase(std::string_view utf8) {
   static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
   std::string folded;
   folded.reserve(utf8.size());
   for (std::size_t i = 0; i < utf8.size();) {
      const auto lead = static_cast<unsigned char>(utf8[i]);
      if (lead < 0x80) {
         folded += static_cast<char>(lead >= 'a' && lead <= 'z' ? lead - 32 : lead);
         ++i;
         continue;
      }
      // SxString hands us valid UTF-8 only.
      const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      char32_t cp = lead & (0x7F >> n);
      for (std::size_t k = 1; k < n; ++k)
         cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      i += n;
      if (unicode)
         cp = static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), unicode));
      if (cp < 0x800) {
         folded += static_cast<char>(0xC0 | (cp >> 6));
      } else if (cp < 0x10000) {
         folded += static_cast<char>(0xE0 | (cp >> 12));
         folded += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      } else {
         folded += static_cast<char>(0xF0 | (cp >> 18));
         folded += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
         folded += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      }
      folded += static_cast<char>(0x80 | (cp & 0x3F));
   }
   return folded;
}

// Length of UTF-8 text in UTF-16 units, as Windows counts name lengths.
DWORD utf16Length(std::string_view utf8) {
   DWORD n = 0;
   for (unsigned char c : utf8) {
      if ((c & 0xC0) != 0x80)
         ++n;
      if (c >= 0xF0)
         ++n;
   }
   return n;
}

// One prepared statement in use: parameters bound on the way in, reset on the way out.
class Query {
public:
   explicit Query(sqlite3_stmt* stmt) : stmt_(stmt) {}
   ~Query() {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
   }
   Query(const Query&) = delete;
   Query& operator=(const Query&) = delete;

   Query& bind(int i, int64_t v) {
      sqlite3_bind_int64(stmt_, i, v);
      return *this;
   }
   // Texts and blobs are copied: callers bind temporaries.
   Query& bind(int i, const std::string& v) {
      sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
      return *this;
   }
   Query& bind(int i, const std::vector<BYTE>& v) {
      sqlite3_bind_blob(stmt_, i, v.empty() ? "" : static_cast<const void*>(v.data()),
                        static_cast<int>(v.size()), SQLITE_TRANSIENT);
      return *this;
   }
   /// SQLITE_ROW, SQLITE_DONE or an error code.
   int step() { return sqlite3_step(stmt_); }
   int64_t integer(int col) { return sqlite3_column_int64(stmt_, col); }
   bool isNull(int col) { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
   std::string text(int col) {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
      return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : "";
   }
   std::vector<BYTE> blob(int col) {
      const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(stmt_, col));
      return p ? std::vector<BYTE>(p, p + sqlite3_column_bytes(stmt_, col)) : std::vector<BYTE>();
   }

private:
   sqlite3_stmt* stmt_;
};

// A failed step inside a transaction, carried to the transaction's end as a status.
struct Failure {
   LSTATUS status;
};

// One store file with its connection. The connection is opened on first use and serves the
// whole process; a mutex gives each call the connection to itself, SQLite's locks order the
// calls of different processes.
class StoreFile {
public:
   StoreFile(std::string file, bool readOnly, bool privateDir)
       : file_(std::move(file)), readOnly_(readOnly), privateDir_(privateDir) {}
   ~StoreFile() { closeDb(); }
   StoreFile(const StoreFile&) = delete;
   StoreFile& operator=(const StoreFile&) = delete;

   /// How a call's statements are grouped. A call of one statement (or of one statement that
   /// decides the answer, followed only by a look at whether the key still exists) runs it on
   /// its own: SQLite makes every statement a transaction, and leaving out BEGIN and COMMIT
   /// saves a third of the work of the short calls.
   enum class Mode { Statement, Read, Write };

   /// Runs body as one transaction; a Failure thrown by body or a failing step rolls it back.
   template <class Body>
   LSTATUS transact(Mode mode, Body&& body) {
      std::lock_guard<std::mutex> lock(mutex_);
      LSTATUS status = ensureOpen();
      if (status != ERROR_SUCCESS)
         return status;
      bool open = false;
      try {
         // Without write permission a write call still looks its key up first, so that a
         // missing key reads as missing; its first change then fails with SQLITE_READONLY.
         if (mode != Mode::Statement) {
            run(mode == Mode::Write && writable_ ? "BEGIN IMMEDIATE" : "BEGIN");
            open = true;
         }
         status = body();
         if (open && status == ERROR_SUCCESS) {
            open = false;
            run("COMMIT");
         }
      } catch (const Failure& failure) {
         status = failure.status;
      }
      if ((open || status != ERROR_SUCCESS) && !sqlite3_get_autocommit(db_))
         exec("ROLLBACK");
      return status;
   }

   /// Whether this process may change the file; valid inside transact.
   [[nodiscard]] bool writable() const { return writable_; }

   /// The prepared statement for sql, prepared once per connection.
   sqlite3_stmt* stmt(const char* sql) {
      auto found = stmts_.find(sql);
      if (found != stmts_.end())
         return found->second;
      sqlite3_stmt* s = nullptr;
      const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
      if (rc != SQLITE_OK)
         throw Failure{fail(rc)};
      stmts_.emplace(sql, s);
      return s;
   }

   /// The statement that finds the key depth levels below ?1 in one step: parameters ?2 to
   /// ?(depth+1) are the folded names, the row is the key's id.
   sqlite3_stmt* walkStmt(std::size_t depth) {
      if (walkStmts_.size() <= depth)
         walkStmts_.resize(depth + 1);
      if (!walkStmts_[depth]) {
         std::string parent = "?1";
         for (std::size_t level = 1; level <= depth; ++level)
            parent = "(SELECT id FROM regkey WHERE parent=" + parent + " AND folded=?" +
                     std::to_string(level + 1) + ")";
         const std::string sql = "SELECT " + parent;
         const int rc = sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                                           &walkStmts_[depth], nullptr);
         if (rc != SQLITE_OK)
            throw Failure{fail(rc)};
      }
      return walkStmts_[depth];
   }

   /// Steps a statement that yields no row or one row; other results end the transaction.
   bool stepRow(Query& q) {
      const int rc = q.step();
      if (rc == SQLITE_ROW)
         return true;
      if (rc != SQLITE_DONE)
         throw Failure{fail(rc)};
      return false;
   }

   /// Runs a statement without parameters or rows.
   void run(const char* sql) {
      Query q(stmt(sql));
      stepRow(q);
   }

   int changes() { return sqlite3_changes(db_); }
   int64_t lastInsertId() { return sqlite3_last_insert_rowid(db_); }

private:
   LSTATUS fail(int rc) {
      const LSTATUS status = winStatusFromNative(rc, db_ ? sqlite3_system_errno(db_) : errno);
      const int primary = rc & 0xFF;
      if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_IOERR ||
          primary == SQLITE_CANTOPEN)
         report(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
      return status;
   }

   // The platform layer sits below the library's log, so store trouble goes to standard error,
   // once per file and process.
   void report(const char* what) {
      if (reported_)
         return;
      reported_ = true;
      std::fprintf(stderr, "voutil registry: store file '%s' cannot be used: %s\n", file_.c_str(),
                   what);
   }

   void closeDb() {
      for (auto& entry : stmts_)
         sqlite3_finalize(entry.second);
      stmts_.clear();
      for (sqlite3_stmt* walk : walkStmts_)
         sqlite3_finalize(walk);
      walkStmts_.clear();
      sqlite3_close(db_);
      db_ = nullptr;
   }

   // Setting up a new file races with other processes doing the same; SQLite does not always
   // wait for those locks itself.
   int exec(const char* sql) {
      int rc = SQLITE_BUSY;
      for (int waitedMs = 0; waitedMs < kBusyTimeoutMs; ++waitedMs) {
         rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
         if ((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED)
            break;
         std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      return rc;
   }

   LSTATUS ensureOpen() {
      if (db_)
         return ERROR_SUCCESS;
      const LSTATUS status = openDb();
      if (status != ERROR_SUCCESS)
         closeDb();
      return status;
   }

   LSTATUS openDb() {
      namespace fs = std::filesystem;
      std::error_code ec;
      const fs::path path(file_);
      bool writable = !readOnly_;
      if (writable && !fs::is_directory(path.parent_path(), ec)) {
         fs::create_directories(path.parent_path(), ec);
         if (!ec)
            ::chmod(path.parent_path().c_str(), privateDir_ ? 0700 : 0755);
         // Users other than root cannot make the machine's directory, which is normal; the
         // user's own store without a home is worth a word.
         else if (privateDir_)
            report(("its directory cannot be made: " + ec.message()).c_str());
         writable = !ec;
      }
      const bool exists = fs::exists(path, ec);
      int rc = SQLITE_CANTOPEN;
      constexpr int kFlags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
      if (writable) {
         rc = sqlite3_open_v2(file_.c_str(), &db_,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | kFlags, nullptr);
         writable = rc == SQLITE_OK && !sqlite3_db_readonly(db_, "main");
      }
      if (!writable) {
         closeDb();
         // A machine file nobody has created yet reads as an empty store.
         rc = exists ? sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READONLY | kFlags, nullptr)
                     : sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | kFlags, nullptr);
      }
      if (rc != SQLITE_OK)
         return fail(rc);
      sqlite3_extended_result_codes(db_, 1);
      sqlite3_busy_timeout(db_, kBusyTimeoutMs);
      if (writable || !exists) {
         // Keeping the WAL and its index after the last writer closes lets readers without
         // write permission open the file too.
         int persist = 1;
         sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
         // Small pages: a call changes one value, and every commit writes the pages it touched
         // to the WAL, so 1 KiB pages make writes a fifth faster than 4 KiB ones. Longer values
         // spill into overflow pages. Takes effect only when the file is new.
         if ((rc = exec("PRAGMA page_size=1024")) != SQLITE_OK ||
             (rc = exec("PRAGMA journal_mode=WAL")) != SQLITE_OK ||
             (rc = exec("PRAGMA synchronous=NORMAL")) != SQLITE_OK ||
             (rc = exec("PRAGMA journal_size_limit=1048576")) != SQLITE_OK ||
             (rc = exec("BEGIN IMMEDIATE")) != SQLITE_OK)
            return fail(rc);
         if ((rc = exec(kSchema)) != SQLITE_OK || (rc = exec("COMMIT")) != SQLITE_OK) {
            const LSTATUS status = fail(rc);
            exec("ROLLBACK");
            return status;
         }
      } else if ((rc = exec("SELECT count(*) FROM regkey")) != SQLITE_OK) {
         return fail(rc);
      }
      if (!writable && (rc = exec("PRAGMA query_only=1")) != SQLITE_OK)
         return fail(rc);
      writable_ = writable;
      return ERROR_SUCCESS;
   }

   std::string file_;
   bool readOnly_;
   bool privateDir_;
   bool writable_ = false;
   bool reported_ = false;
   std::mutex mutex_;
   sqlite3* db_ = nullptr;
   std::unordered_map<const char*, sqlite3_stmt*> stmts_;
   std::vector<sqlite3_stmt*> walkStmts_;
};

class SqliteRegistryBackend final : public RegistryBackend {
public:
   explicit SqliteRegistryBackend(const SqliteStoreFiles& files)
       : user_(files.userFile, false, true),
         machine_(files.machineFile, files.machineReadOnly, false) {}

   LSTATUS rootKey(HKEY hKey, KeyRef* root) override {
      for (const RootRow& row : kRoots) {
         if (row.handle == hKey) {
            *root = KeyRef{row.hive, row.id};
            return ERROR_SUCCESS;
         }
      }
      return ERROR_INVALID_HANDLE;
   }

   LSTATUS openKey(KeyRef base, const KeyPath& path, bool forWriting, KeyRef* result) override {
      StoreFile& store = file(base);
      int64_t id = 0;
      const LSTATUS status = store.transact(StoreFile::Mode::Statement, [&] {
         const LSTATUS found = walk(store, base, path, &id);
         return found == ERROR_SUCCESS && forWriting && !store.writable() ? ERROR_ACCESS_DENIED
                                                                          : found;
      });
      if (status != ERROR_SUCCESS)
         return status;
      *result = KeyRef{base.hive, id};
      return ERROR_SUCCESS;
   }

   LSTATUS createKey(KeyRef base, const KeyPath& path, KeyRef* result, bool* created) override {
      StoreFile& store = file(base);
      int64_t id = base.id;
      bool isNew = false;
      const LSTATUS status = store.transact(StoreFile::Mode::Write, [&] {
         if (!store.writable())
            return ERROR_ACCESS_DENIED;
         requireKey(store, base.id);
         for (const std::string& name : path) {
            const std::string folded = foldCase(name);
            Query find(store.stmt("SELECT id FROM regkey WHERE parent=?1 AND folded=?2"));
            find.bind(1, id).bind(2, folded);
            if (store.stepRow(find)) {
               id = find.integer(0);
               isNew = false;
               continue;
            }
            Query insert(store.stmt("INSERT INTO regkey(parent, name, folded) VALUES(?1,?2,?3)"));
            insert.bind(1, id).bind(2, name).bind(3, folded);
            store.stepRow(insert);
            id = store.lastInsertId();
            isNew = true;
         }
         return ERROR_SUCCESS;
      });
      if (status != ERROR_SUCCESS)
         return status;
      *result = KeyRef{base.hive, id};
      *created = isNew;
      return ERROR_SUCCESS;
   }

   LSTATUS queryValue(KeyRef key, const std::string& name, ValueData* value) override {
      StoreFile& store = file(key);
      return store.transact(StoreFile::Mode::Statement, [&] {
         Query q(store.stmt("SELECT name, type, data FROM regvalue WHERE key=?1 AND folded=?2"));
         q.bind(1, key.id).bind(2, foldCase(name));
         if (!store.stepRow(q)) {
            requireKey(store, key.id);
            return ERROR_FILE_NOT_FOUND;
         }
         *value = ValueData{q.text(0), static_cast<DWORD>(q.integer(1)), q.blob(2)};
         return ERROR_SUCCESS;
      });
   }

   LSTATUS setValue(KeyRef key, const ValueData& value) override {
      StoreFile& store = file(key);
      return store.transact(StoreFile::Mode::Statement, [&] {
         // One statement that writes only while the key exists.
         Query q(store.stmt("INSERT INTO regvalue(key, name, folded, type, data) "
                            "SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS "
                            "(SELECT 1 FROM regkey WHERE id=?1) ON CONFLICT(key, folded) "
                            "DO UPDATE SET type=excluded.type, data=excluded.data"));
         q.bind(1, key.id).bind(2, value.name).bind(3, foldCase(value.name));
         q.bind(4, static_cast<int64_t>(value.type)).bind(5, value.bytes);
         store.stepRow(q);
         return store.changes() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
      });
   }

   LSTATUS deleteValue(KeyRef base, const KeyPath& path, const std::string& name) override {
      StoreFile& store = file(base);
      return store.transact(StoreFile::Mode::Write, [&] {
         int64_t id = 0;
         const LSTATUS status = walk(store, base, path, &id);
         if (status != ERROR_SUCCESS)
            return status;
         Query q(store.stmt("DELETE FROM regvalue WHERE key=?1 AND folded=?2"));
         q.bind(1, id).bind(2, foldCase(name));
         store.stepRow(q);
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
         Query values(store.stmt("WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
                                 "SELECT k.id FROM regkey k JOIN t ON k.parent=t.id) "
                                 "DELETE FROM regvalue WHERE key IN t"));
         values.bind(1, id);
         store.stepRow(values);
         Query keys(store.stmt("WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
                               "SELECT k.id FROM regkey k JOIN t ON k.parent=t.id) "
                               "DELETE FROM regkey WHERE id IN t AND (?2 OR id<>?1)"));
         keys.bind(1, id).bind(2, int64_t{!path.empty()});
         store.stepRow(keys);
         return ERROR_SUCCESS;
      });
   }

   LSTATUS queryInfo(KeyRef key, KeyInfo* info) override {
      StoreFile& store = file(key);
      KeyInfo result;
      const LSTATUS status = store.transact(StoreFile::Mode::Read, [&] {
         requireKey(store, key.id);
         Query keys(store.stmt("SELECT name FROM regkey WHERE parent=?1"));
         keys.bind(1, key.id);
         for (; store.stepRow(keys); ++result.subKeys)
            result.maxSubKeyLen = std::max(result.maxSubKeyLen, utf16Length(keys.text(0)));
         Query values(store.stmt("SELECT name, length(data) FROM regvalue WHERE key=?1"));
         values.bind(1, key.id);
         for (; store.stepRow(values); ++result.values) {
            result.maxValueNameLen = std::max(result.maxValueNameLen, utf16Length(values.text(0)));
            result.maxValueLen =
                std::max(result.maxValueLen, static_cast<DWORD>(values.integer(1)));
         }
         return ERROR_SUCCESS;
      });
      if (status == ERROR_SUCCESS)
         *info = result;
      return status;
   }

   LSTATUS enumKey(KeyRef key, DWORD index, std::string* name) override {
      return enumRow(key, index,
                     "SELECT name FROM regkey WHERE parent=?1 ORDER BY folded LIMIT 1 OFFSET ?2",
                     [name](Query& row) { *name = row.text(0); });
   }

   LSTATUS enumValue(KeyRef key, DWORD index, ValueData* value) override {
      return enumRow(
          key, index,
          "SELECT name, type, data FROM regvalue WHERE key=?1 ORDER BY folded "
          "LIMIT 1 OFFSET ?2",
          [value](Query& row) {
             *value = ValueData{row.text(0), static_cast<DWORD>(row.integer(1)), row.blob(2)};
          });
   }

private:
   StoreFile& file(KeyRef key) { return key.hive == Hive::User ? user_ : machine_; }

   // Row index of the query sql (parameters: key id, index), handed to take.
   template <class Take>
   LSTATUS enumRow(KeyRef key, DWORD index, const char* sql, Take&& take) {
      StoreFile& store = file(key);
      return store.transact(StoreFile::Mode::Statement, [&] {
         Query q(store.stmt(sql));
         q.bind(1, key.id).bind(2, int64_t{index});
         if (!store.stepRow(q)) {
            requireKey(store, key.id);
            return ERROR_NO_MORE_ITEMS;
         }
         take(q);
         return ERROR_SUCCESS;
      });
   }

   // A handle's key may have been deleted by another handle, thread or process since it was
   // opened.
   static void requireKey(StoreFile& store, int64_t id) {
      Query q(store.stmt("SELECT 1 FROM regkey WHERE id=?1"));
      q.bind(1, id);
      if (!store.stepRow(q))
         throw Failure{ERROR_KEY_DELETED};
   }

   // Finds the key at path below base in one statement. Keys never move, so a key found is
   // a key that existed at that moment with that path.
   static LSTATUS walk(StoreFile& store, KeyRef base, const KeyPath& path, int64_t* id) {
      if (path.empty()) {
         requireKey(store, base.id);
         *id = base.id;
         return ERROR_SUCCESS;
      }
      Query q(store.walkStmt(path.size()));
      q.bind(1, base.id);
      for (std::size_t level = 0; level < path.size(); ++level)
         q.bind(static_cast<int>(level) + 2, foldCase(path[level]));
      if (!store.stepRow(q) || q.isNull(0)) {
         requireKey(store, base.id);
         return ERROR_FILE_NOT_FOUND;
      }
      *id = q.integer(0);
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
   std::string config;
   if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
      config = xdg;
   else if (const char* home = std::getenv("HOME"); home && *home)
      config = std::string(home) + "/.config";
   else
      config = "/tmp";
   files.userFile = config + "/voutil/registry/user.sqlite";
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
