#pragma once

// One SQLite store file of the registry backend: its connection, its prepared statements and
// its transactions. Private to the POSIX layer; the backend (RegistrySqlite.cpp) builds the
// registry calls on it.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <thread>
#include <vector>
#include <voplatform/RegistryBackend.h>

namespace voplatform::store {

/// The format of the store file, kept in its user_version. Format 0 held names as UTF-8 text,
/// folded by the C library's locale; format 1 holds UTF-16 units and folds through
/// registryUpcase. Opening a format 0 file for writing converts it once.
constexpr int kFormat = 1;

/// The statements of the store, prepared once per connection. A key's name is its UTF-16LE
/// units (Query::bindName), its folded name the upper-cased units big-endian (foldedBlob), so that
/// comparing folded names byte by byte orders them by their upper-cased UTF-16 units.
enum class Sql {
   Begin,
   BeginImmediate,
   Commit,
   KeyExists,
   FindSubKey,
   InsertKey,
   InsertRoot,
   QueryValue,
   SetValue,
   DeleteValue,
   DeleteTreeValues,
   DeleteTreeKeys,
   CountSubKeys,
   CountValues,
   EnumKey,
   EnumKeyAfter,
   EnumValue,
   EnumValueAfter,
   Count
};

/// The row ids of the predefined root keys; created with the schema, never deleted.
struct RootRow {
   HKEY handle;
   Hive hive;
   int64_t id;
   const char16_t* name;
};
inline const RootRow kRoots[] = {
    {HKEY_CLASSES_ROOT, Hive::Machine, 1, u"HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, Hive::User, 2, u"HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, Hive::Machine, 3, u"HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, Hive::Machine, 4, u"HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, Hive::Machine, 5, u"HKEY_CURRENT_CONFIG"},
};

/// A failed step inside a transaction, carried to the transaction's end as a status.
struct Failure {
   LSTATUS status;
};

/// The name stored as bytes by Query::bindName: its UTF-16 units in little-endian order.
RegName nameFromBlob(const void* bytes, int size);
/// The key by which a name compares and sorts: each unit through registryUpcase, big-endian.
std::string foldedBlob(const RegName& name);

class StoreFile;

/// One prepared statement in use: parameters bound on the way in, reset on the way out. A
/// failing bind throws a Failure.
class Query {
public:
   Query(StoreFile& store, Sql sql);
   ~Query();
   Query(const Query&) = delete;
   Query& operator=(const Query&) = delete;

   Query& bind(int i, int64_t v);
   /// Blobs are copied: callers bind temporaries.
   Query& bindBlob(int i, const void* bytes, std::size_t size);
   Query& bind(int i, const std::string& blob) { return bindBlob(i, blob.data(), blob.size()); }
   Query& bind(int i, const std::vector<BYTE>& blob) {
      return bindBlob(i, blob.data(), blob.size());
   }
   /// A name as its UTF-16 units in little-endian order, whatever the machine's order.
   Query& bindName(int i, const RegName& name);

   /// Steps to the next row: true for a row, false at the end; other results throw a Failure.
   bool step();
   int64_t integer(int col) { return sqlite3_column_int64(stmt_, col); }
   RegName name(int col) {
      return nameFromBlob(sqlite3_column_blob(stmt_, col), sqlite3_column_bytes(stmt_, col));
   }
   std::vector<BYTE> blob(int col);

private:
   StoreFile& store_;
   sqlite3_stmt* stmt_;
};

/// A transaction on the connection that rolls back unless committed, so that any way out of a
/// call, an exception included, leaves no transaction open on the shared connection.
class Transaction {
public:
   /// BEGIN, or BEGIN IMMEDIATE to take the write lock at once.
   Transaction(StoreFile& store, bool immediate);
   ~Transaction();
   Transaction(const Transaction&) = delete;
   Transaction& operator=(const Transaction&) = delete;
   /// COMMIT; a failing commit throws a Failure and leaves the rollback to the destructor.
   void commit();

private:
   StoreFile& store_;
   bool open_ = true;
};

/// One store file with its connection. The connection is opened on first use and serves the
/// whole process; a mutex gives each call the connection to itself, SQLite's locks order the
/// calls of different processes.
class StoreFile {
public:
   /// privateFile: the file and its WAL and index are readable by the owner only. busyTimeout:
   /// how long a call waits in all for another connection's lock.
   StoreFile(std::string file, bool readOnly, bool privateFile,
             std::chrono::milliseconds busyTimeout = std::chrono::seconds(10));
   ~StoreFile();
   StoreFile(const StoreFile&) = delete;
   StoreFile& operator=(const StoreFile&) = delete;

   /// How a call's statements are grouped. A call of one statement (or of one statement that
   /// decides the answer, followed only by a look at whether the key still exists) runs it on
   /// its own: SQLite makes every statement a transaction, and leaving out BEGIN and COMMIT
   /// saves a third of the work of the short calls.
   enum class Mode { Statement, Read, Write };

   /// Runs body with the connection to itself, as one transaction unless mode is Statement. A
   /// Failure thrown by body, a failing step or a status other than ERROR_SUCCESS rolls it
   /// back; so does any other exception, which then passes on, except std::bad_alloc, which
   /// becomes ERROR_NOT_ENOUGH_MEMORY.
   template <class Body>
   LSTATUS transact(Mode mode, Body&& body) {
      // Inside this thread's batch the connection is held and the transaction open already.
      const bool inBatch = batchOwner_.load() == std::this_thread::get_id();
      std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
      if (!inBatch)
         lock.lock();
      try {
         LSTATUS status = ensureOpen();
         if (status != ERROR_SUCCESS)
            return status;
         // Without write permission a write call still looks its key up first, so that a
         // missing key reads as missing; its first change then fails with SQLITE_READONLY.
         std::optional<Transaction> transaction;
         if (mode != Mode::Statement && !inBatch)
            transaction.emplace(*this, mode == Mode::Write && writable_);
         status = body();
         if (transaction && status == ERROR_SUCCESS)
            transaction->commit();
         return status;
      } catch (const Failure& failure) {
         return failure.status;
      } catch (const std::bad_alloc&) {
         return ERROR_NOT_ENOUGH_MEMORY;
      }
   }

   /// Runs body with the connection held and one transaction open, which this thread's calls
   /// inside join (RegistryBackend::batch); the status of the commit.
   LSTATUS batch(const std::function<void()>& body);

   /// Whether this process may change the file; valid inside transact.
   [[nodiscard]] bool writable() const { return writable_; }
   int changes() { return sqlite3_changes(db_); }
   int64_t lastInsertId() { return sqlite3_last_insert_rowid(db_); }

   /// The Windows status for an SQLite result; trouble with the file itself is reported once.
   LSTATUS fail(int rc);
   /// Runs one of the statements without parameters or rows.
   void run(Sql sql);
   /// Ends the open transaction, if any, without its changes, closing the connection when
   /// ROLLBACK fails. Never throws.
   void rollback();

private:
   friend class Query;

   sqlite3_stmt* stmt(Sql sql);
   sqlite3_stmt* prepare(const char* sql);
   void report(const std::string& what);
   void closeDb();
   int exec(const char* sql, std::chrono::steady_clock::time_point deadline);
   LSTATUS ensureOpen();
   LSTATUS openDb();
   bool makePrivate();
   int queryNumber(const char* sql, int64_t* number);
   LSTATUS setUp(bool writable);
   LSTATUS setUpSchema(bool canWrite, std::chrono::steady_clock::time_point deadline);
   LSTATUS convertFormat0(std::chrono::steady_clock::time_point deadline);

   std::string file_;
   bool readOnly_;
   bool private_;
   std::chrono::milliseconds busyTimeout_;
   bool writable_ = false;
   bool reported_ = false;
   std::mutex mutex_;
   std::atomic<std::thread::id> batchOwner_{};
   sqlite3* db_ = nullptr;
   std::array<sqlite3_stmt*, static_cast<std::size_t>(Sql::Count)> stmts_{};
};

} // namespace voplatform::store
