#pragma once

// The seam between the registry functions of <windows.h> and the store that keeps the keys.
// The Reg* functions check arguments, handles and access rights, and fill the callers'
// buffers; a backend only stores and finds keys and values. Every backend call is atomic: it
// either happens completely or not at all, also when other threads or processes write the
// same store at the same time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <vowin/registry.h>

namespace voplatform {

/// The store file a key lives in: HKEY_CURRENT_USER in the user's own, all other roots in the
/// machine's.
enum class Hive { User, Machine };

/// The deepest a key may lie below its root key, in levels, as on Windows.
constexpr std::size_t kMaxKeyDepth = 512;

/// One key of a store. Ids are never reused, so a key deleted and created again has a new id.
/// Keys never move, so the depth found when the key was reached stays true.
struct KeyRef {
   Hive hive = Hive::User;
   int64_t id = 0;
   std::size_t depth = 0; ///< levels below the root key
};

/// A key or value name: the UTF-16 units the caller gave, kept exactly, lone surrogates
/// included.
using RegName = std::u16string;

/// A key's path below another key: its key names, already checked for length.
using KeyPath = std::vector<RegName>;

/// What RegQueryInfoKeyW reports; lengths in UTF-16 units (names) and bytes (data).
struct KeyInfo {
   DWORD subKeys = 0;
   DWORD maxSubKeyLen = 0;
   DWORD values = 0;
   DWORD maxValueNameLen = 0;
   DWORD maxValueLen = 0;
};

/// Where a listing through one handle stands: the index and the sort key of the row handed out
/// last, so that the next index continues after it instead of counting the rows again. Opaque
/// to the caller, who keeps one per handle and listing and hands it back unchanged.
struct EnumCursor {
   int64_t key = 0; ///< the listed key's id; 0 before the first row
   DWORD index = 0;
   std::string after;
};

/// One value as stored: its name as created, its Windows type code and its bytes.
struct ValueData {
   RegName name;
   DWORD type = REG_NONE;
   std::vector<BYTE> bytes;
};

/// Where keys and values are kept. Implementations must be safe to call from several threads.
/// Every method returns ERROR_SUCCESS or a Windows status and changes no output on failure.
/// Names compare case-insensitively, unit by unit through registryUpcase, and keep the case
/// they were created with.
class RegistryBackend {
public:
   virtual ~RegistryBackend() = default;

   /// Sets *root to the key that the predefined handle stands for. Fails with
   /// ERROR_INVALID_HANDLE when hKey is not a predefined root key.
   [[nodiscard]] virtual LSTATUS rootKey(HKEY hKey, KeyRef* root) = 0;

   /// Finds the existing key at path below base. Fails with ERROR_FILE_NOT_FOUND when a key on
   /// the way is missing, ERROR_KEY_DELETED when base no longer exists, and ERROR_ACCESS_DENIED
   /// when forWriting is set and this process may not change base's store.
   [[nodiscard]] virtual LSTATUS openKey(KeyRef base, const KeyPath& path, bool forWriting,
                                         KeyRef* result) = 0;

   /// Like openKey, but creates every missing key on the way; *created tells whether the last
   /// key was new. Fails with ERROR_ACCESS_DENIED when this process may not change base's
   /// store, even when every key exists already, and with ERROR_INVALID_PARAMETER, creating
   /// nothing, when the key would lie deeper than kMaxKeyDepth below its root.
   [[nodiscard]] virtual LSTATUS createKey(KeyRef base, const KeyPath& path, KeyRef* result,
                                           bool* created) = 0;

   /// Reads the value called name (the empty name is the key's default value). Fails with
   /// ERROR_FILE_NOT_FOUND when the value is missing, ERROR_KEY_DELETED when the key is.
   [[nodiscard]] virtual LSTATUS queryValue(KeyRef key, const RegName& name, ValueData* value) = 0;

   /// Sets or replaces the value value.name of key with value.type and value.bytes. A value
   /// that exists under another case keeps its stored name.
   [[nodiscard]] virtual LSTATUS setValue(KeyRef key, const ValueData& value) = 0;

   /// Deletes the value called name of the key at path below base. Fails with
   /// ERROR_FILE_NOT_FOUND when the key or the value is missing.
   [[nodiscard]] virtual LSTATUS deleteValue(KeyRef base, const KeyPath& path,
                                             const RegName& name) = 0;

   /// Deletes the key at path below base with all its subkeys and values. An empty path
   /// deletes what base holds and keeps base itself. Fails with ERROR_FILE_NOT_FOUND when the
   /// key is missing.
   [[nodiscard]] virtual LSTATUS deleteTree(KeyRef base, const KeyPath& path) = 0;

   /// Counts the key's direct subkeys and values and measures their longest names and data.
   [[nodiscard]] virtual LSTATUS queryInfo(KeyRef key, KeyInfo* info) = 0;

   /// Sets *name to the name of subkey index in the order of the names' upper-cased UTF-16
   /// units. Fails with ERROR_NO_MORE_ITEMS when index is past the last subkey. cursor, when not
   /// null, is where this handle's listing stood: the index after it is found from there, in
   /// time independent of the index, and on success the cursor moves to index.
   [[nodiscard]] virtual LSTATUS enumKey(KeyRef key, DWORD index, RegName* name,
                                         EnumCursor* cursor) = 0;

   /// Sets *value to value index, values ordered as enumKey orders subkeys, with a cursor as
   /// enumKey's. Fails with ERROR_NO_MORE_ITEMS when index is past the last value.
   [[nodiscard]] virtual LSTATUS enumValue(KeyRef key, DWORD index, ValueData* value,
                                           EnumCursor* cursor) = 0;

   /// Runs body with the calls this thread makes in it as one transaction: when body throws,
   /// none of their changes stays and the exception passes on; otherwise the status of making
   /// them all lasting. A call failing inside may leave its own partial change in the batch, so
   /// callers end a batch by throwing when a call fails. Without transactions the body just runs.
   [[nodiscard]] virtual LSTATUS batch(const std::function<void()>& body) {
      body();
      return ERROR_SUCCESS;
   }
};

/// Hands every call to another backend unchanged. Wrappers derive from it and override only
/// the calls they change.
class ForwardingRegistryBackend : public RegistryBackend {
public:
   explicit ForwardingRegistryBackend(std::shared_ptr<RegistryBackend> target)
       : target_(std::move(target)) {}

   LSTATUS rootKey(HKEY hKey, KeyRef* root) override { return target_->rootKey(hKey, root); }
   LSTATUS openKey(KeyRef base, const KeyPath& path, bool forWriting, KeyRef* result) override {
      return target_->openKey(base, path, forWriting, result);
   }
   LSTATUS createKey(KeyRef base, const KeyPath& path, KeyRef* result, bool* created) override {
      return target_->createKey(base, path, result, created);
   }
   LSTATUS queryValue(KeyRef key, const RegName& name, ValueData* value) override {
      return target_->queryValue(key, name, value);
   }
   LSTATUS setValue(KeyRef key, const ValueData& value) override {
      return target_->setValue(key, value);
   }
   LSTATUS deleteValue(KeyRef base, const KeyPath& path, const RegName& name) override {
      return target_->deleteValue(base, path, name);
   }
   LSTATUS deleteTree(KeyRef base, const KeyPath& path) override {
      return target_->deleteTree(base, path);
   }
   LSTATUS queryInfo(KeyRef key, KeyInfo* info) override { return target_->queryInfo(key, info); }
   LSTATUS enumKey(KeyRef key, DWORD index, RegName* name, EnumCursor* cursor) override {
      return target_->enumKey(key, index, name, cursor);
   }
   LSTATUS enumValue(KeyRef key, DWORD index, ValueData* value, EnumCursor* cursor) override {
      return target_->enumValue(key, index, value, cursor);
   }
   LSTATUS batch(const std::function<void()>& body) override { return target_->batch(body); }

protected:
   RegistryBackend& target() { return *target_; }

private:
   std::shared_ptr<RegistryBackend> target_;
};

/// Where the SQLite backend keeps its two files.
struct SqliteStoreFiles {
   std::string userFile; ///< HKEY_CURRENT_USER
   std::string
       machineFile; ///< HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG
   /// Open the machine file for reading only, as a user without write permission on it does.
   bool machineReadOnly = false;
   /// How long a call waits in all for another process's lock before it fails with
   /// ERROR_BUSY; the first call of a process, which may set the file up, included.
   std::chrono::milliseconds busyTimeout{10000};
};

/// The default locations: both files in $VOUTIL_REGISTRY_DIR when it is set; otherwise the
/// user file in ${XDG_CONFIG_HOME:-HOME/.config}/voutil/registry/, HOME being $HOME or the
/// password database's home directory, and the machine file in /var/lib/voutil/registry/.
/// Without any home the user file is empty: its calls fail.
SqliteStoreFiles defaultSqliteStoreFiles();

/// A backend on two SQLite files in WAL mode, one transaction per call. Files and directories
/// are created on first use; no file is opened through a symbolic link. A file that cannot be
/// opened, or is not a store, or whose directory cannot be made or searched, makes every call on
/// its keys fail with a status and writes one line naming the file to standard error. Only a
/// machine file that does not exist yet, and that this process may not create, reads as empty.
std::shared_ptr<RegistryBackend> makeSqliteRegistryBackend(const SqliteStoreFiles& files);

/// The upper-case form of one UTF-16 unit, by which names compare and sort: the Unicode simple
/// upper-case mapping within the Basic Multilingual Plane, from a table of our own, so that no
/// locale or machine changes it. Surrogates and units without a mapping stay as they are.
char16_t registryUpcase(char16_t unit);

/// The backend the Reg* functions use; on first use the SQLite backend on the default files.
std::shared_ptr<RegistryBackend> registryBackend();

/// Replaces the backend for calls that follow and returns the previous one. Handles opened
/// before keep the backend they were opened with. A null backend restores the default.
std::shared_ptr<RegistryBackend> setRegistryBackend(std::shared_ptr<RegistryBackend> backend);

/// The Windows status for a native failure: an SQLite result code, with the errno value of the
/// system call behind it (0 when there was none). All native errors are mapped here.
LSTATUS winStatusFromNative(int sqliteCode, int sysErrno);

} // namespace voplatform
