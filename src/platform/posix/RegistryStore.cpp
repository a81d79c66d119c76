// One store file: opening it, its format, its statements and its transactions.

#include "RegistryStore.h"

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sx/SxUtf.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace voplatform::store {
namespace {

constexpr const char* kSqlText[] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "SELECT 1 FROM regkey WHERE id=?1",
    "SELECT id FROM regkey WHERE parent=?1 AND folded=?2",
    "INSERT INTO regkey(parent, name, folded) VALUES(?1, ?2, ?3)",
    "INSERT INTO regkey(id, parent, name, folded) VALUES(?1, 0, ?2, ?3)",
    "SELECT name, type, data FROM regvalue WHERE key=?1 AND folded=?2",
    // One statement that writes only while the key exists.
    "INSERT INTO regvalue(key, name, folded, type, data) SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS "
    "(SELECT 1 FROM regkey WHERE id=?1) ON CONFLICT(key, folded) "
    "DO UPDATE SET type=excluded.type, data=excluded.data",
    "DELETE FROM regvalue WHERE key=?1 AND folded=?2",
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM regkey k JOIN t ON "
    "k.parent=t.id) DELETE FROM regvalue WHERE key IN t",
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM regkey k JOIN t ON "
    "k.parent=t.id) DELETE FROM regkey WHERE id IN t AND (?2 OR id<>?1)",
    "SELECT count(*), coalesce(max(length(name)), 0) / 2 FROM regkey WHERE parent=?1",
    "SELECT count(*), coalesce(max(length(name)), 0) / 2, coalesce(max(length(data)), 0) "
    "FROM regvalue WHERE key=?1",
    "SELECT name, folded FROM regkey WHERE parent=?1 ORDER BY folded LIMIT 1 OFFSET ?2",
    "SELECT name, folded FROM regkey WHERE parent=?1 AND folded>?2 ORDER BY folded LIMIT 1",
    "SELECT name, folded, type, data FROM regvalue WHERE key=?1 ORDER BY folded LIMIT 1 OFFSET ?2",
    "SELECT name, folded, type, data FROM regvalue WHERE key=?1 AND folded>?2 ORDER BY folded "
    "LIMIT 1",
};
static_assert(std::size(kSqlText) == static_cast<std::size_t>(Sql::Count));

constexpr const char* kTables = R"sql(
CREATE TABLE regkey(
   id INTEGER PRIMARY KEY AUTOINCREMENT,
   parent INTEGER NOT NULL,
   name BLOB NOT NULL,
   folded BLOB NOT NULL,
   UNIQUE(parent, folded));
CREATE TABLE regvalue(
   key INTEGER NOT NULL,
   name BLOB NOT NULL,
   folded BLOB NOT NULL,
   type INTEGER NOT NULL,
   data BLOB NOT NULL,
   PRIMARY KEY(key, folded)) WITHOUT ROWID;
PRAGMA user_version=1;
)sql";

// Format 0 kept names as UTF-8 text; the conversion rewrites them through these two functions.
constexpr const char* kConvertFormat0 = R"sql(
ALTER TABLE regkey RENAME TO regkey_format0;
ALTER TABLE regvalue RENAME TO regvalue_format0;
%TABLES%
INSERT INTO regkey(id, parent, name, folded)
   SELECT id, parent, voutil_utf16(name), voutil_folded(name) FROM regkey_format0;
INSERT INTO regvalue(key, name, folded, type, data)
   SELECT key, voutil_utf16(name), voutil_folded(name), type, data FROM regvalue_format0;
UPDATE sqlite_sequence SET seq=max(seq, coalesce((SELECT seq FROM sqlite_sequence
   WHERE name='regkey_format0'), 0)) WHERE name='regkey';
DROP TABLE regkey_format0;
DROP TABLE regvalue_format0;
)sql";

// The units of name in little-endian order, as the store keeps them.
RegName littleEndian(RegName name) {
   if constexpr (std::endian::native == std::endian::big)
      for (char16_t& unit : name)
         unit = static_cast<char16_t>((unit >> 8) | (unit << 8));
   return name;
}

RegName fromFormat0Text(sqlite3_value* text) {
   const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(text));
   return SxUtf::utf8ToUtf16(
       std::string_view(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(text))));
}

void resultBlob(sqlite3_context* context, const void* bytes, std::size_t size) {
   sqlite3_result_blob64(context, size ? bytes : "", size, SQLITE_TRANSIENT);
}

} // namespace

RegName nameFromBlob(const void* bytes, int size) {
   RegName name(static_cast<std::size_t>(size) / 2, u'\0');
   if (!name.empty())
      std::memcpy(name.data(), bytes, name.size() * 2);
   return littleEndian(std::move(name));
}

std::string foldedBlob(const RegName& name) {
   std::string folded(name.size() * 2, '\0');
   for (std::size_t i = 0; i < name.size(); ++i) {
      const char16_t upper = registryUpcase(name[i]);
      folded[2 * i] = static_cast<char>(upper >> 8);
      folded[2 * i + 1] = static_cast<char>(upper & 0xFF);
   }
   return folded;
}

// ---- Query

Query::Query(StoreFile& store, Sql sql) : store_(store), stmt_(store.stmt(sql)) {}

Query::~Query() {
   sqlite3_reset(stmt_);
   sqlite3_clear_bindings(stmt_);
}

Query& Query::bind(int i, int64_t v) {
   if (const int rc = sqlite3_bind_int64(stmt_, i, v); rc != SQLITE_OK)
      throw Failure{store_.fail(rc)};
   return *this;
}

Query& Query::bindBlob(int i, const void* bytes, std::size_t size) {
   // A null pointer would bind NULL; an empty name or data is a blob of no bytes.
   const int rc = sqlite3_bind_blob64(stmt_, i, size ? bytes : "", size, SQLITE_TRANSIENT);
   if (rc != SQLITE_OK)
      throw Failure{store_.fail(rc)};
   return *this;
}

Query& Query::bindName(int i, const RegName& name) {
   if constexpr (std::endian::native == std::endian::little)
      return bindBlob(i, name.data(), name.size() * 2);
   const RegName stored = littleEndian(name);
   return bindBlob(i, stored.data(), stored.size() * 2);
}

bool Query::step() {
   const int rc = sqlite3_step(stmt_);
   if (rc == SQLITE_ROW)
      return true;
   if (rc != SQLITE_DONE)
      throw Failure{store_.fail(rc)};
   return false;
}

std::vector<BYTE> Query::blob(int col) {
   const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(stmt_, col));
   return p ? std::vector<BYTE>(p, p + sqlite3_column_bytes(stmt_, col)) : std::vector<BYTE>();
}

// ---- Transaction

Transaction::Transaction(StoreFile& store, bool immediate) : store_(store) {
   store_.run(immediate ? Sql::BeginImmediate : Sql::Begin);
}

Transaction::~Transaction() {
   if (open_)
      store_.rollback();
}

void Transaction::commit() {
   store_.run(Sql::Commit);
   open_ = false;
}

// ---- StoreFile

LSTATUS StoreFile::batch(const std::function<void()>& body) {
   std::lock_guard<std::mutex> lock(mutex_);
   std::optional<Transaction> transaction;
   try {
      // A file that cannot be opened fails each call inside with its status.
      if (ensureOpen() == ERROR_SUCCESS)
         transaction.emplace(*this, writable_);
   } catch (const Failure& failure) {
      return failure.status;
   }
   // Declared after the transaction, so the owner is cleared before a rollback.
   struct Owner {
      std::atomic<std::thread::id>& id;
      ~Owner() { id = std::thread::id(); }
   } owner{batchOwner_};
   owner.id = std::this_thread::get_id();
   body();
   try {
      if (transaction)
         transaction->commit();
   } catch (const Failure& failure) {
      return failure.status;
   }
   return ERROR_SUCCESS;
}

StoreFile::StoreFile(std::string file, bool readOnly, bool privateFile,
                     std::chrono::milliseconds busyTimeout)
    : file_(std::move(file)), readOnly_(readOnly), private_(privateFile),
      busyTimeout_(busyTimeout) {}

StoreFile::~StoreFile() {
   closeDb();
}

void StoreFile::run(Sql sql) {
   Query q(*this, sql);
   q.step();
}

// A ROLLBACK that fails leaves the transaction open, and every later BEGIN on the connection
// would fail: the connection is closed instead, which ends the transaction without its changes,
// and the next call opens a new one.
void StoreFile::rollback() {
   if (db_ && !sqlite3_get_autocommit(db_))
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
   if (db_ && !sqlite3_get_autocommit(db_))
      closeDb();
}

sqlite3_stmt* StoreFile::prepare(const char* sql) {
   sqlite3_stmt* s = nullptr;
   const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
   if (rc != SQLITE_OK)
      throw Failure{fail(rc)};
   return s;
}

sqlite3_stmt* StoreFile::stmt(Sql sql) {
   sqlite3_stmt*& s = stmts_[static_cast<std::size_t>(sql)];
   if (!s)
      s = prepare(kSqlText[static_cast<std::size_t>(sql)]);
   return s;
}

LSTATUS StoreFile::fail(int rc) {
   const LSTATUS status = winStatusFromNative(rc, db_ ? sqlite3_system_errno(db_) : errno);
   const int primary = rc & 0xFF;
   if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_IOERR ||
       primary == SQLITE_CANTOPEN)
      report(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
   return status;
}

// The platform layer sits below the library's log, so store trouble goes to standard error,
// once per file and process.
void StoreFile::report(const std::string& what) {
   if (reported_)
      return;
   reported_ = true;
   std::fprintf(stderr, "voutil registry: store file '%s' cannot be used: %s\n", file_.c_str(),
                what.c_str());
}

void StoreFile::closeDb() {
   for (sqlite3_stmt*& s : stmts_) {
      sqlite3_finalize(s);
      s = nullptr;
   }
   sqlite3_close(db_);
   db_ = nullptr;
}

// Setting up a new file races with other processes doing the same, and SQLite does not always
// wait for those locks itself (a change of journal mode, for one): a statement that finds the
// file busy is tried again until the deadline, and no single try waits past it.
int StoreFile::exec(const char* sql, std::chrono::steady_clock::time_point deadline) {
   using namespace std::chrono;
   int rc = SQLITE_BUSY;
   for (;;) {
      const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
      sqlite3_busy_timeout(db_, static_cast<int>(std::max<int64_t>(left, 0)));
      rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
      if (((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED) ||
          steady_clock::now() >= deadline)
         break;
      std::this_thread::sleep_for(milliseconds(1));
   }
   sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout_.count()));
   return rc;
}

LSTATUS StoreFile::ensureOpen() {
   if (db_)
      return ERROR_SUCCESS;
   const LSTATUS status = openDb();
   if (status != ERROR_SUCCESS)
      closeDb();
   return status;
}

// SQLite gives the WAL and its index the mode of the store file, so a store file made 0600
// before SQLite opens it keeps all three private, wherever the directory is and whatever the
// umask. Files left 0644 by earlier versions are closed up too.
bool StoreFile::makePrivate() {
   const auto closeUp = [](const std::string& file, int flags) {
      const int fd = ::open(file.c_str(), flags | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
      const bool done = fd >= 0 && ::fchmod(fd, 0600) == 0;
      if (fd >= 0)
         ::close(fd);
      return done;
   };
   const bool done = closeUp(file_, O_CREAT);
   for (const char* suffix : {"-wal", "-shm"})
      closeUp(file_ + suffix, 0);
   return done;
}

LSTATUS StoreFile::openDb() {
   namespace fs = std::filesystem;
   if (file_.empty()) {
      report("no home directory: neither HOME, an absolute XDG_CONFIG_HOME nor the password "
             "database names one");
      return ERROR_PATH_NOT_FOUND;
   }
   std::error_code ec;
   const fs::path path(file_);
   bool writable = !readOnly_;
   if (writable && !fs::is_directory(path.parent_path(), ec)) {
      fs::create_directories(path.parent_path(), ec);
      if (!ec)
         ::chmod(path.parent_path().c_str(), private_ ? 0700 : 0755);
      writable = !ec;
      // Users other than root cannot make the machine's directory, which is normal; the
      // user's own store has nowhere else to go.
      if (ec && private_) {
         report("its directory cannot be made: " + ec.message());
         return winStatusFromNative(SQLITE_CANTOPEN, ec.value());
      }
   }
   if (writable && private_)
      makePrivate();
   // Only a file that is not there reads as an empty store; a directory that cannot be
   // searched is no answer.
   const fs::file_status found = fs::symlink_status(path, ec);
   if (ec && ec != std::errc::no_such_file_or_directory) {
      report("it cannot be looked up: " + ec.message());
      return winStatusFromNative(SQLITE_CANTOPEN, ec.value());
   }
   if (fs::is_symlink(found)) {
      report("it is a symbolic link, which the store does not follow");
      return ERROR_CANTOPEN;
   }
   const bool exists = fs::exists(found);
   int rc = SQLITE_CANTOPEN;
   constexpr int kFlags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE | SQLITE_OPEN_NOFOLLOW;
   if (writable) {
      rc = sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | kFlags,
                           nullptr);
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
   sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout_.count()));
   const LSTATUS status = setUp(writable || !exists);
   if (status == ERROR_SUCCESS)
      writable_ = writable;
   return status;
}

// Gets the open connection ready for calls, setting the file up when it is new and converting
// an older format when canWrite. All waits for other processes' locks together end at the busy
// timeout.
LSTATUS StoreFile::setUp(bool canWrite) {
   const auto deadline = std::chrono::steady_clock::now() + busyTimeout_;
   int rc = SQLITE_OK;
   if (!canWrite) {
      LSTATUS status = setUpSchema(false, deadline);
      if (status == ERROR_SUCCESS && (rc = exec("PRAGMA query_only=1", deadline)) != SQLITE_OK)
         status = fail(rc);
      return status;
   }
   // Keeping the WAL and its index after the last writer closes lets readers without write
   // permission open the file too.
   int persist = 1;
   sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
   // Small pages: a call changes one value, and every commit writes the pages it touched to
   // the WAL, so 1 KiB pages make writes a fifth faster than 4 KiB ones. Longer values spill
   // into overflow pages. Takes effect only when the file is new.
   if ((rc = exec("PRAGMA synchronous=NORMAL", deadline)) != SQLITE_OK ||
       (rc = exec("PRAGMA journal_size_limit=1048576", deadline)) != SQLITE_OK)
      return fail(rc);
   // A file in the current format is in WAL mode already and needs no write lock, so that a
   // process's first call, a read above all, does not wait for another process's writes.
   int64_t format = -1;
   if (queryNumber("PRAGMA user_version", &format) == SQLITE_OK && format == kFormat)
      return ERROR_SUCCESS;
   if ((rc = exec("PRAGMA page_size=1024", deadline)) != SQLITE_OK ||
       (rc = exec("PRAGMA journal_mode=WAL", deadline)) != SQLITE_OK ||
       (rc = exec("BEGIN IMMEDIATE", deadline)) != SQLITE_OK)
      return fail(rc);
   LSTATUS status = setUpSchema(true, deadline);
   if (status == ERROR_SUCCESS && (rc = exec("COMMIT", deadline)) != SQLITE_OK)
      status = fail(rc);
   rollback();
   return status;
}

// Brings the file to the current format inside the open write transaction, or, when this
// process may not write it, checks that it is in the current format.
LSTATUS StoreFile::setUpSchema(bool canWrite, std::chrono::steady_clock::time_point deadline) {
   int64_t format = 0;
   int64_t tables = 0;
   int rc = SQLITE_OK;
   if ((rc = queryNumber("PRAGMA user_version", &format)) != SQLITE_OK ||
       (rc = queryNumber("SELECT count(*) FROM sqlite_master WHERE name='regkey'", &tables)) !=
           SQLITE_OK)
      return fail(rc);
   if (format == kFormat)
      return ERROR_SUCCESS;
   if (format > kFormat) {
      report("it is in store format " + std::to_string(format) + ", which is newer than this " +
             "program's format " + std::to_string(kFormat));
      return ERROR_BADDB;
   }
   if (!canWrite) {
      report(tables ? "it is in store format 0 of an earlier version; it is converted when "
                      "opened once by a user who may write it"
                    : "it holds no registry store");
      return ERROR_BADDB;
   }
   if (tables)
      return convertFormat0(deadline);
   if ((rc = exec(kTables, deadline)) != SQLITE_OK)
      return fail(rc);
   try {
      for (const RootRow& root : kRoots) {
         Query insert(*this, Sql::InsertRoot);
         insert.bind(1, root.id).bindName(2, root.name).bind(3, foldedBlob(root.name));
         insert.step();
      }
   } catch (const Failure& failure) {
      return failure.status;
   }
   return ERROR_SUCCESS;
}

// Format 0 kept names as UTF-8 text folded by the C library's locale, which differed between
// machines. Converting refolds every name; names that now fold alike stop the conversion, and
// the file stays as it was.
LSTATUS StoreFile::convertFormat0(std::chrono::steady_clock::time_point deadline) {
   const auto utf16 = [](sqlite3_context* context, int, sqlite3_value** args) {
      try {
         const RegName stored = littleEndian(fromFormat0Text(args[0]));
         resultBlob(context, stored.data(), stored.size() * 2);
      } catch (const std::bad_alloc&) {
         sqlite3_result_error_nomem(context);
      }
   };
   const auto folded = [](sqlite3_context* context, int, sqlite3_value** args) {
      try {
         const std::string key = foldedBlob(fromFormat0Text(args[0]));
         resultBlob(context, key.data(), key.size());
      } catch (const std::bad_alloc&) {
         sqlite3_result_error_nomem(context);
      }
   };
   constexpr int kText = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
   std::string script = kConvertFormat0;
   script.replace(script.find("%TABLES%"), 8, kTables);
   int rc = sqlite3_create_function_v2(db_, "voutil_utf16", 1, kText, nullptr, utf16, nullptr,
                                       nullptr, nullptr);
   if (rc == SQLITE_OK)
      rc = sqlite3_create_function_v2(db_, "voutil_folded", 1, kText, nullptr, folded, nullptr,
                                      nullptr, nullptr);
   if (rc == SQLITE_OK)
      rc = exec(script.c_str(), deadline);
   if (rc == SQLITE_OK)
      return ERROR_SUCCESS;
   if ((rc & 0xFF) != SQLITE_CONSTRAINT)
      return fail(rc);
   report("it is in store format 0 of an earlier version and cannot be converted: two names of "
          "one key now compare equal (" +
          std::string(sqlite3_errmsg(db_)) + ")");
   return ERROR_BADDB;
}

int StoreFile::queryNumber(const char* sql, int64_t* number) {
   sqlite3_stmt* s = nullptr;
   int rc = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
   if (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
      *number = sqlite3_column_int64(s, 0);
      rc = SQLITE_OK;
   }
   sqlite3_finalize(s);
   return rc;
}

} // namespace voplatform::store
