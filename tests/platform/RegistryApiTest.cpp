// The POSIX registry functions against a store of their own in a temporary directory, and the
// SQLite store below the backend: transactions, the file format and its conversion, the files'
// permissions and the upper-case table.

#include "RegistryStore.h"

#include <chrono>
#include <common/FaultInjectingRegistryBackend.h>
#include <common/ScopedEnv.h>
#include <common/TempDir.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <windows.h>

namespace {

using vo::test::ScopedEnv;
using vo::test::ScopedRegistryBackend;
using vo::test::storeFilesIn;
using vo::test::TempDir;
using voplatform::store::foldedBlob;
using voplatform::store::Query;
using voplatform::store::Sql;
using voplatform::store::StoreFile;
using Names = std::vector<std::u16string>;

// A key handle closed at the end of the test.
struct Key {
   HKEY h = nullptr;
   ~Key() { EXPECT_EQ(h ? RegCloseKey(h) : ERROR_SUCCESS, ERROR_SUCCESS); }
};

LSTATUS create(HKEY root, const std::u16string& path, Key* key, REGSAM access = KEY_ALL_ACCESS,
               DWORD* disposition = nullptr, DWORD options = 0) {
   return RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, access, nullptr, &key->h,
                          disposition);
}
LSTATUS open(HKEY root, const char16_t* path, Key* key, REGSAM access = KEY_READ) {
   return RegOpenKeyExW(root, path, 0, access, &key->h);
}
LSTATUS setDword(HKEY key, const std::u16string& name, DWORD value) {
   return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof value);
}
// The DWORD value name of key, or 99 when it cannot be read.
DWORD dwordOf(HKEY key, const std::u16string& name) {
   DWORD value = 99, size = sizeof value;
   RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
   return value;
}
// The names of a key's subkeys (RegEnumKeyExW) or values (RegEnumValueW) in enumeration order.
template <class Enum>
Names namesOf(HKEY key, Enum&& enumerate) {
   Names names;
   char16_t name[300];
   for (DWORD i = 0, cch = 300;
        enumerate(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        ++i, cch = 300)
      names.emplace_back(name, cch);
   return names;
}

struct RegistryApi : ::testing::Test {
   TempDir dir;
   ScopedRegistryBackend backend{voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path()))};
};

// Names compare by their upper case, unit by unit, keep the spelling they were created with and
// are listed by their upper-cased UTF-16 units: "_" (0x5F) after the letters, a surrogate pair
// (D83D DE00) before U+FF41; lone surrogates are names like others. The other handle, path and
// status rules are compared with Windows' own registry by tests/registry-diff.
TEST_F(RegistryApi, NamesFoldByTheirUpperCaseAndAreListedByItsUnits) {
   Key parent, ss;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Order", &parent), ERROR_SUCCESS);
   const std::u16string low(1, u'\xDC00'), high(1, u'\xD800');
   // Each row: a name, and another spelling that must reach the same key and value.
   const std::pair<std::u16string, std::u16string> rows[] = {
       {u"\uFF41", u"\uFF21"}, {u"\U0001F600", u"\U0001F600"},  {u"_x", u"_X"}, {u"b", u"B"},
       {u"A", u"a"},           {u"\u00E4", u"\u00C4"},          {low, low},     {high, high},
       {u"\u03C2", u"\u03C3"}, {u"stra\u00DFe", u"STRA\u00DFE"}};
   for (const auto& [name, other] : rows) {
      Key k, same;
      DWORD created = 0, opened = 0;
      ASSERT_EQ(create(parent.h, name, &k, KEY_READ, &created), ERROR_SUCCESS);
      ASSERT_EQ(create(parent.h, other, &same, KEY_READ, &opened), ERROR_SUCCESS);
      EXPECT_EQ(created, DWORD{REG_CREATED_NEW_KEY});
      EXPECT_EQ(opened, DWORD{REG_OPENED_EXISTING_KEY});
      ASSERT_EQ(setDword(parent.h, name, 1), ERROR_SUCCESS);
      ASSERT_EQ(setDword(parent.h, other, 2), ERROR_SUCCESS);
      EXPECT_EQ(dwordOf(parent.h, name), 2u) << "the last write replaced the value";
   }
   EXPECT_EQ(open(parent.h, u"STRASSE", &ss), ERROR_FILE_NOT_FOUND) << "\u00DF has no upper case";
   const Names order = {u"A",      u"b", u"stra\u00DFe", u"_x", u"\u00E4",
                        u"\u03C2", high, u"\U0001F600",  low,   u"\uFF41"};
   EXPECT_EQ(namesOf(parent.h, RegEnumKeyExW), order);
   EXPECT_EQ(namesOf(parent.h, RegEnumValueW), order);
}

TEST_F(RegistryApi, DataIsStoredExactlyAndBuffersFollowTheWindowsRules) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Data", &k), ERROR_SUCCESS);
   std::vector<BYTE> large(100000), buffer(4, 0xAA);
   for (std::size_t i = 0; i < large.size(); ++i)
      large[i] = static_cast<BYTE>(i * 7);
   ASSERT_EQ(RegSetValueExW(k.h, u"large", 0, 77, large.data(), 100000), ERROR_SUCCESS);
   DWORD type = 0, size = 0;
   ASSERT_EQ(RegQueryValueExW(k.h, u"large", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
   EXPECT_EQ(type, 77u);
   EXPECT_EQ(size, 100000u);
   EXPECT_EQ(RegQueryValueExW(k.h, u"large", nullptr, &type, buffer.data(), &(size = 4)),
             ERROR_MORE_DATA);
   EXPECT_EQ(size, 100000u);
   EXPECT_EQ(buffer, std::vector<BYTE>(4, 0xAA)) << "a short buffer is left alone";
   EXPECT_EQ(RegQueryValueExW(k.h, u"large", nullptr, nullptr, buffer.data(), nullptr),
             ERROR_INVALID_PARAMETER);
   buffer.assign(100008, 0);
   ASSERT_EQ(RegQueryValueExW(k.h, u"large", nullptr, nullptr, buffer.data(), &(size = 100008)),
             ERROR_SUCCESS);
   buffer.resize(size);
   EXPECT_EQ(buffer, large);

   const std::u16string longest(16383, u'v');
   EXPECT_EQ(setDword(k.h, longest, 1), ERROR_SUCCESS);
   EXPECT_EQ(setDword(k.h, longest + u"v", 1), ERROR_INVALID_PARAMETER);
}

// The edges of the calls that Windows programs rely on, as Windows (and Wine) answer them. The
// differential test compares the others with Wine: roots with other upper bits, null data, the
// size of a missing value, and a value name that does not fit leaving the data buffer alone.
TEST_F(RegistryApi, CallsAnswerAtTheirEdgesAsWindowsDoes) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Edges", &k), ERROR_SUCCESS);
   // A failed open or create sets the handle to null; only open handles and roots close.
   HKEY opened = HKEY_USERS, created = HKEY_USERS;
   EXPECT_EQ(RegOpenKeyExW(k.h, u"Nope", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(RegCreateKeyExW(k.h, u"\\a", 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr),
             ERROR_BAD_PATHNAME);
   EXPECT_EQ(opened, nullptr);
   EXPECT_EQ(created, nullptr);
   EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(uintptr_t{0x1234})), ERROR_INVALID_HANDLE);
   EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
   Key bad;
   EXPECT_EQ(create(k.h, u"volatile", &bad, KEY_READ, nullptr, REG_OPTION_VOLATILE),
             ERROR_NOT_SUPPORTED);
   // String data stored without its NUL gets one where the buffer has room for it.
   const BYTE ab[] = {'a', 0, 'b', 0};
   ASSERT_EQ(RegSetValueExW(k.h, u"s", 0, REG_SZ, ab, 4), ERROR_SUCCESS);
   ASSERT_EQ(RegSetValueExW(k.h, u"b", 0, REG_BINARY, ab, 4), ERROR_SUCCESS);
   // Each row: value, buffer size, the bytes then in the buffer.
   const std::tuple<const char16_t*, DWORD, std::vector<BYTE>> reads[] = {
       {u"s", 6, {'a', 0, 'b', 0, 0, 0, 0xEE}},
       {u"s", 5, {'a', 0, 'b', 0, 0xEE, 0xEE, 0xEE}},
       {u"b", 6, {'a', 0, 'b', 0, 0xEE, 0xEE, 0xEE}}};
   DWORD size = 0;
   for (const auto& [name, room, bytes] : reads) {
      std::vector<BYTE> buffer(7, 0xEE);
      EXPECT_EQ(RegQueryValueExW(k.h, name, nullptr, nullptr, buffer.data(), &(size = room)),
                ERROR_SUCCESS);
      EXPECT_EQ(buffer, bytes) << room;
      EXPECT_EQ(size, 4u);
   }
}

// Every call works on a key as deep as Windows allows, 512 levels below its root, and no key
// goes deeper.
TEST_F(RegistryApi, KeysHoldAtEveryDepthUpToTheLimit) {
   for (const std::size_t depth : {11, 12, 100, 512}) {
      std::u16string path = u"Deep";
      for (std::size_t level = 2; level <= depth; ++level)
         path += u"\\L" + std::u16string(1, static_cast<char16_t>(u'a' + level % 26));
      Key k, same, parent, below, twoBelow, gone;
      ASSERT_EQ(create(HKEY_CURRENT_USER, path, &k), ERROR_SUCCESS) << depth;
      ASSERT_EQ(open(HKEY_CURRENT_USER, path.c_str(), &same, KEY_ALL_ACCESS), ERROR_SUCCESS);
      EXPECT_EQ(setDword(same.h, u"v", 7), ERROR_SUCCESS);
      EXPECT_EQ(dwordOf(k.h, u"v"), 7u);
      const std::u16string parentPath = path.substr(0, path.rfind(u'\\'));
      ASSERT_EQ(open(HKEY_CURRENT_USER, parentPath.c_str(), &parent), ERROR_SUCCESS);
      EXPECT_EQ(namesOf(parent.h, RegEnumKeyExW), Names{path.substr(parentPath.size() + 1)});
      EXPECT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, path.c_str(), u"v"), ERROR_SUCCESS);
      EXPECT_EQ(create(k.h, u"x", &below), depth < 512 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
      EXPECT_EQ(create(HKEY_CURRENT_USER, path + u"\\x\\y", &twoBelow),
                depth < 511 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
      EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
      EXPECT_EQ(open(HKEY_CURRENT_USER, path.c_str(), &gone), ERROR_FILE_NOT_FOUND);
      EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Deep"), ERROR_SUCCESS);
   }
}

// Emptying a key through its handle needs DELETE, and the right to change values when it has
// some.
TEST_F(RegistryApi, EmptyingAKeyNeedsItsRightsFirst) {
   Key k, clearer, writer, reader;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Empty\\sub", &k), ERROR_SUCCESS);
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Empty", &clearer, KEY_READ | DELETE), ERROR_SUCCESS);
   EXPECT_EQ(RegDeleteTreeW(clearer.h, nullptr), ERROR_SUCCESS);
   EXPECT_TRUE(namesOf(clearer.h, RegEnumKeyExW).empty());
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Empty", &writer, KEY_SET_VALUE), ERROR_SUCCESS);
   ASSERT_EQ(setDword(writer.h, u"v", 1), ERROR_SUCCESS);
   EXPECT_EQ(RegDeleteTreeW(clearer.h, nullptr), ERROR_ACCESS_DENIED);
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Empty", &reader, KEY_READ), ERROR_SUCCESS);
   ASSERT_EQ(RegDeleteKeyValueW(writer.h, nullptr, u"v"), ERROR_SUCCESS);
   EXPECT_EQ(RegDeleteTreeW(reader.h, nullptr), ERROR_ACCESS_DENIED) << "DELETE stays required";
}

TEST_F(RegistryApi, AMachineStoreThatCannotBeWrittenIsReadOnly) {
   Key k, user;
   ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", &k), ERROR_SUCCESS);
   ASSERT_EQ(setDword(k.h, u"v", 7), ERROR_SUCCESS);
   ScopedRegistryBackend readOnly(
       voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path(), true)));
   EXPECT_EQ(setDword(k.h, u"v", 8), ERROR_SUCCESS) << "a handle keeps the backend it came from";
   Key reader;
   EXPECT_EQ(RegDeleteTreeW(HKEY_USERS, u"SOFTWARE\\Vendor"), ERROR_FILE_NOT_FOUND)
       << "each root is a tree of its own";
   EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor"), ERROR_ACCESS_DENIED);
   ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", &reader), ERROR_SUCCESS);
   EXPECT_EQ(dwordOf(reader.h, u"v"), 8u);
   EXPECT_EQ(create(HKEY_CURRENT_USER, u"Software\\Mine", &user), ERROR_SUCCESS);

   // A machine store nobody has made yet reads as empty and stays unmade.
   ScopedRegistryBackend missing(
       voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.file("none"), true)));
   Key none, root;
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"SOFTWARE", &none), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, nullptr, &root), ERROR_SUCCESS);
   EXPECT_FALSE(std::filesystem::exists(dir.file("none/machine.sqlite")));
}

// A store file that is not a database, or cannot be opened, gives a status and one line on
// standard error that names the file; the process carries on.
TEST_F(RegistryApi, ABrokenStoreFileIsReportedNotFatal) {
   std::ofstream(dir.file("user.sqlite")) << std::string(4096, 'x');
   std::filesystem::create_directories(dir.file("machine.sqlite"));
   ::testing::internal::CaptureStderr();
   Key k;
   EXPECT_EQ(create(HKEY_CURRENT_USER, u"Software", &k), ERROR_BADDB);
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"Software", &k), ERROR_BADDB);
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"SOFTWARE", &k), ERROR_BADDB);
   const std::string err = ::testing::internal::GetCapturedStderr();
   EXPECT_NE(err.find("'" + dir.file("user.sqlite") + "'"), std::string::npos) << err;
   EXPECT_NE(err.find("'" + dir.file("machine.sqlite") + "'"), std::string::npos) << err;
   EXPECT_EQ(err.find("user.sqlite", err.find("user.sqlite") + 1), std::string::npos)
       << "one line per file, not per call";
}

TEST_F(RegistryApi, AnUnreadableStoreFileIsDenied) {
   if (::geteuid() == 0)
      GTEST_SKIP() << "root reads every file";
   Key made, k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software", &made), ERROR_SUCCESS);
   ScopedRegistryBackend fresh(voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path())));
   std::filesystem::permissions(dir.file("user.sqlite"), std::filesystem::perms::none);
   ::testing::internal::CaptureStderr();
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"Software", &k), ERROR_ACCESS_DENIED);
   EXPECT_NE(::testing::internal::GetCapturedStderr().find(dir.file("user.sqlite")),
             std::string::npos);
}

// Another process holding the write lock: reads go on, and a write, the first call of a
// process too (which may have to set the file up), gives up with ERROR_BUSY at the timeout.
TEST_F(RegistryApi, AWriteLockHeldElsewhereEndsTheWaitWithBusy) {
   Key made;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software", &made), ERROR_SUCCESS);
   TempDir fresh;
   // Each row: the store's directory, and whether a read still succeeds.
   for (const auto& [store, readable] : {std::pair(&dir, true), {&fresh, false}}) {
      sqlite3* other = nullptr;
      ASSERT_EQ(sqlite3_open(store->file("user.sqlite").c_str(), &other), SQLITE_OK);
      ASSERT_EQ(
          sqlite3_exec(other, "BEGIN IMMEDIATE; CREATE TABLE t(x)", nullptr, nullptr, nullptr),
          SQLITE_OK);
      voplatform::SqliteStoreFiles files = storeFilesIn(store->path());
      files.busyTimeout = std::chrono::milliseconds(300);
      ScopedRegistryBackend waiting(voplatform::makeSqliteRegistryBackend(files));
      ::testing::internal::CaptureStderr();
      Key read, written;
      EXPECT_EQ(open(HKEY_CURRENT_USER, u"Software", &read), readable ? ERROR_SUCCESS : ERROR_BUSY);
      EXPECT_EQ(create(HKEY_CURRENT_USER, u"Software\\New", &written), ERROR_BUSY) << store->path();
      ::testing::internal::GetCapturedStderr();
      sqlite3_close(other);
   }
}

// Without HOME the password database names the home; the user's file never goes to a shared
// directory. A place that cannot be used fails the calls with a line on standard error instead
// of reading as an empty store.
TEST_F(RegistryApi, TheUsersStoreLivesInItsHomeOrNowhere) {
   std::string userFile;
   {
      const ScopedEnv home("HOME", nullptr), config("XDG_CONFIG_HOME", nullptr),
          store("VOUTIL_REGISTRY_DIR", nullptr);
      userFile = voplatform::defaultSqliteStoreFiles().userFile;
   }
   EXPECT_EQ(userFile,
             std::string(::getpwuid(::getuid())->pw_dir) + "/.config/voutil/registry/user.sqlite");

   std::ofstream(dir.file("plain")) << "x";
   std::filesystem::create_directory(dir.file("linked"));
   std::filesystem::create_symlink(dir.file("plain"), dir.file("linked/user.sqlite"));
   // Each row: where the user's file is, the status of its calls and the report.
   const std::tuple<std::string, LSTATUS, const char*> places[] = {
       {"", ERROR_PATH_NOT_FOUND, "no home directory"},
       {dir.file("plain/registry/user.sqlite"), ERROR_PATH_NOT_FOUND, "cannot be made"},
       {dir.file("linked/user.sqlite"), ERROR_CANTOPEN, "symbolic link"}};
   for (const auto& [file, status, report] : places) {
      ScopedRegistryBackend placed(voplatform::makeSqliteRegistryBackend({file, dir.file("m")}));
      ::testing::internal::CaptureStderr();
      Key k;
      EXPECT_EQ(create(HKEY_CURRENT_USER, u"Software", &k), status) << file;
      EXPECT_NE(::testing::internal::GetCapturedStderr().find(report), std::string::npos);
   }
   EXPECT_EQ(std::filesystem::file_size(dir.file("plain")), 1u) << "a link is not followed";
}

TEST(RegistryStatus, NativeErrorsMapToWindowsStatuses) {
   // Each row: an SQLite result, the errno behind it and the status it becomes.
   const std::tuple<int, int, LSTATUS> cases[] = {
       {SQLITE_DONE, 0, ERROR_SUCCESS},
       {SQLITE_BUSY_SNAPSHOT, 0, ERROR_BUSY},
       {SQLITE_READONLY, 0, ERROR_ACCESS_DENIED},
       {SQLITE_CORRUPT, 0, ERROR_BADDB},
       {SQLITE_FULL, 0, ERROR_DISK_FULL},
       {SQLITE_CANTOPEN, EACCES, ERROR_ACCESS_DENIED},
       {SQLITE_CANTOPEN, ENOENT, ERROR_PATH_NOT_FOUND},
       {SQLITE_CANTOPEN, 0, ERROR_CANTOPEN},
       {SQLITE_IOERR_WRITE, ENOSPC, ERROR_DISK_FULL},
       {SQLITE_IOERR_READ, EIO, ERROR_REGISTRY_IO_FAILED}};
   for (const auto& [sqliteCode, sysErrno, status] : cases)
      EXPECT_EQ(voplatform::winStatusFromNative(sqliteCode, sysErrno), status)
          << sqliteCode << "/" << sysErrno;
}

// Runs the statements sql on file: the first column of the last row, or -1 without a row.
int64_t sqlOn(const std::string& file, const char* sql) {
   sqlite3* db = nullptr;
   int64_t value = -1;
   const auto last = [](void* out, int, char** columns, char**) {
      *static_cast<int64_t*>(out) = columns[0] ? std::atoll(columns[0]) : -1;
      return 0;
   };
   EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
   EXPECT_EQ(sqlite3_exec(db, sql, last, &value, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
   sqlite3_close(db);
   return value;
}

// Denies ROLLBACK on the connections opened while installed, as long as gDenyRollback is set.
bool gDenyRollback = false;
int denyRollback(sqlite3* db, char**, const sqlite3_api_routines*) {
   const auto authorize = [](void*, int action, const char* what, const char*, const char*,
                             const char*) {
      return gDenyRollback && action == SQLITE_TRANSACTION && std::string_view(what) == "ROLLBACK"
                 ? SQLITE_DENY
                 : SQLITE_OK;
   };
   return sqlite3_set_authorizer(db, authorize, nullptr);
}

// Also when ROLLBACK itself fails: the connection is closed, and the next call opens another.
TEST_F(RegistryApi, AnExceptionInAStoreCallRollsItsTransactionBack) {
   Key root, k; // the root opened first, so that a store left writing cannot hold the check up
   ASSERT_EQ(open(HKEY_CURRENT_USER, nullptr, &root), ERROR_SUCCESS);
   const auto install = reinterpret_cast<void (*)()>(&denyRollback);
   sqlite3_auto_extension(install);
   StoreFile store(dir.file("user.sqlite"), false, true);
   // Inserts subkey "k" below HKEY_CURRENT_USER and then throws what it is given.
   const auto insertThenThrow = [&store](auto thrown) {
      return store.transact(StoreFile::Mode::Write, [&]() -> LSTATUS {
         Query(store, Sql::InsertKey).bind(1, 2).bindName(2, u"k").bind(3, foldedBlob(u"k")).step();
         throw thrown;
      });
   };
   EXPECT_EQ(insertThenThrow(std::bad_alloc()), ERROR_NOT_ENOUGH_MEMORY);
   gDenyRollback = true;
   EXPECT_THROW(insertThenThrow(std::runtime_error("elsewhere")), std::runtime_error);
   gDenyRollback = false;
   sqlite3_cancel_auto_extension(install);
   // A bind SQLite refuses fails the call before the statement can run without its value.
   EXPECT_EQ(store.transact(StoreFile::Mode::Write,
                            [&] {
                               Query(store, Sql::InsertKey).bind(1, 2).bindName(2, u"k").bind(4, 0);
                               return ERROR_SUCCESS;
                            }),
             ERROR_REGISTRY_IO_FAILED);
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"k", &k), ERROR_FILE_NOT_FOUND);
   // A transaction left open would make this BEGIN IMMEDIATE fail.
   EXPECT_EQ(store.transact(StoreFile::Mode::Write, [] { return ERROR_SUCCESS; }), ERROR_SUCCESS);
}

// The layout of the first store files: names as UTF-8 text, no format number.
constexpr const char* kFormat0 = R"sql(
CREATE TABLE regkey(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,
   name TEXT NOT NULL, folded TEXT NOT NULL, UNIQUE(parent, folded));
CREATE TABLE regvalue(key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,
   type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded)) WITHOUT ROWID;
INSERT INTO regkey(id, parent, name, folded) VALUES
   (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
   (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'), (4, 0, 'HKEY_USERS', 'HKEY_USERS'),
   (5, 0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG'), (6, 2, 'Software', 'SOFTWARE'),
   (9, 6, 'Müller', 'MÜLLER');
DELETE FROM regkey WHERE id=9; INSERT INTO regkey VALUES (7, 6, 'Müller', 'MÜLLER');
INSERT INTO regvalue VALUES (7, 'Größe', 'GRÖSSE', 4, x'2A000000');
)sql";

TEST_F(RegistryApi, AFormat0StoreFileIsConvertedOnce) {
   sqlOn(dir.file("user.sqlite"), kFormat0);
   Key key, child;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"SOFTWARE\\M\u00DCLLER", &key), ERROR_SUCCESS);
   EXPECT_EQ(dwordOf(key.h, u"GR\u00D6\u00DFE"), 42u);
   EXPECT_EQ(namesOf(key.h, RegEnumValueW), Names{u"Gr\u00F6\u00DFe"});
   ASSERT_EQ(create(key.h, u"new", &child, KEY_READ), ERROR_SUCCESS);
   EXPECT_EQ(sqlOn(dir.file("user.sqlite"), "PRAGMA user_version"), 1);
   EXPECT_EQ(sqlOn(dir.file("user.sqlite"), "SELECT id FROM regkey WHERE length(name)=6"), 10)
       << "ids of deleted keys are not given out again";
}

// Files the store cannot use are left as they were, with a line on standard error.
TEST(RegistryStoreFormat, AFileItCannotConvertOrOfANewerFormatIsRefused) {
   // Each row: what is done to a format 0 file, the report, and the keys and format it keeps.
   // Without the C library's locale the first version folded ASCII only.
   const std::tuple<const char*, const char*, int64_t, int64_t> cases[] = {
       {"INSERT INTO regkey(parent, name, folded) VALUES (7, 'ä', 'ä'), (7, 'Ä', 'Ä')",
        "cannot be converted", 9, 0},
       {"PRAGMA user_version=2", "store format 2, which is newer", 7, 2}};
   for (const auto& [sql, report, keys, format] : cases) {
      TempDir dir;
      const std::string userFile = dir.file("user.sqlite");
      sqlOn(userFile, kFormat0);
      sqlOn(userFile, sql);
      ScopedRegistryBackend backend(
          voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path())));
      ::testing::internal::CaptureStderr();
      Key key;
      EXPECT_EQ(open(HKEY_CURRENT_USER, u"SOFTWARE\\M\u00DCLLER", &key), ERROR_BADDB);
      EXPECT_NE(::testing::internal::GetCapturedStderr().find(report), std::string::npos);
      EXPECT_EQ(sqlOn(userFile, "SELECT count(*) FROM regkey"), keys);
      EXPECT_EQ(sqlOn(userFile, "PRAGMA user_version"), format);
   }
}

TEST_F(RegistryApi, TheUsersStoreIsPrivateTheMachinesReadable) {
   std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
   const mode_t previous = ::umask(022);
   // A user store left readable by an earlier version is closed up too.
   sqlOn(dir.file("user.sqlite"), "PRAGMA journal_mode=WAL; CREATE TABLE t(x)");
   ::chmod(dir.file("user.sqlite").c_str(), 0644);
   Key user, machine;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software", &user), ERROR_SUCCESS);
   ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"Software", &machine), ERROR_SUCCESS);
   ::umask(previous);
   // Each row: a store file and the permissions it has.
   const std::pair<const char*, mode_t> files[] = {{"user.sqlite", 0600},
                                                   {"user.sqlite-wal", 0600},
                                                   {"user.sqlite-shm", 0600},
                                                   {"machine.sqlite", 0644}};
   for (const auto& [file, mode] : files)
      EXPECT_EQ(std::filesystem::status(dir.file(file)).permissions(), std::filesystem::perms(mode))
          << file;
}

TEST(RegistryUpcase, MapsSingleUnitsByTheUnicodeSimpleUpperCase) {
   const std::pair<char16_t, char16_t> cases[] = {
       {u'a', u'A'},           {u'z', u'Z'},           {u'_', u'_'},
       {u'\u00E4', u'\u00C4'}, {u'\u00FF', u'\u0178'}, {u'\u00B5', u'\u039C'},
       {u'\u0131', u'I'},      {u'\u03C2', u'\u03A3'}, {u'\u0436', u'\u0416'},
       {u'\uFF41', u'\uFF21'}, {u'\u00DF', u'\u00DF'}, {u'\xD83D', u'\xD83D'},
       {u'\xDE00', u'\xDE00'}, {u'\u4E00', u'\u4E00'},
   };
   for (const auto& [unit, upper] : cases)
      EXPECT_EQ(voplatform::registryUpcase(unit), upper) << std::hex << int(unit);
}

} // namespace
