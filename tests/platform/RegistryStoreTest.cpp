// The SQLite store below the registry backend: transactions, the file format and its
// conversion, the files' permissions and the upper-case table.

#include "RegistryStore.h"

#include <common/FaultInjectingRegistryBackend.h>
#include <common/TempDir.h>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

using vo::test::TempDir;
using voplatform::store::foldedBlob;
using voplatform::store::Query;
using voplatform::store::Sql;
using voplatform::store::StoreFile;

// Runs the statements sql on file: the first column of the first row, or -1 without a row.
int64_t sqlOn(const std::string& file, const char* sql) {
   sqlite3* db = nullptr;
   int64_t value = -1;
   const auto first = [](void* out, int, char** columns, char**) {
      auto* number = static_cast<int64_t*>(out);
      if (*number == -1 && columns[0])
         *number = std::atoll(columns[0]);
      return 0;
   };
   EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
   EXPECT_EQ(sqlite3_exec(db, sql, first, &value, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
   sqlite3_close(db);
   return value;
}

// Inserts subkey "k" below HKEY_CURRENT_USER and then throws what the test gives.
template <class Thrown>
LSTATUS insertThenThrow(StoreFile& store, Thrown thrown) {
   return store.transact(StoreFile::Mode::Write, [&]() -> LSTATUS {
      Query insert(store, Sql::InsertKey);
      insert.bind(1, 2).bindName(2, u"k").bind(3, foldedBlob(u"k"));
      insert.step();
      throw thrown;
   });
}

bool hasKeyK(StoreFile& store) {
   bool found = false;
   EXPECT_EQ(store.transact(StoreFile::Mode::Statement,
                            [&] {
                               Query find(store, Sql::FindSubKey);
                               found = find.bind(1, 2).bind(2, foldedBlob(u"K")).step();
                               return ERROR_SUCCESS;
                            }),
             ERROR_SUCCESS);
   return found;
}

TEST(RegistryStore, AnExceptionInACallRollsItsTransactionBack) {
   TempDir dir;
   StoreFile store(dir.file("s.sqlite"), false, true);
   EXPECT_EQ(insertThenThrow(store, std::bad_alloc()), ERROR_NOT_ENOUGH_MEMORY);
   EXPECT_FALSE(hasKeyK(store));
   EXPECT_THROW(insertThenThrow(store, std::runtime_error("elsewhere")), std::runtime_error);
   EXPECT_FALSE(hasKeyK(store));
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
   (5, 0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG'),
   (6, 2, 'Software', 'SOFTWARE'), (9, 6, 'Müller', 'MÜLLER');
DELETE FROM regkey WHERE id=9;
INSERT INTO regkey(id, parent, name, folded) VALUES (7, 6, 'Müller', 'MÜLLER');
INSERT INTO regvalue VALUES (7, 'Größe', 'GRÖSSE', 4, x'2A000000');
)sql";

LSTATUS openMueller(const TempDir& dir, HKEY* key) {
   vo::test::ScopedRegistryBackend backend(
       voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
   return RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\M\u00DCLLER", 0, KEY_ALL_ACCESS, key);
}

TEST(RegistryStoreFormat, AFormat0FileIsConvertedOnce) {
   TempDir dir;
   const std::string userFile = dir.file("user.sqlite");
   sqlOn(userFile, kFormat0);
   HKEY key = nullptr, child = nullptr;
   ASSERT_EQ(openMueller(dir, &key), ERROR_SUCCESS);
   DWORD value = 0, size = sizeof value, cch = 16;
   EXPECT_EQ(RegQueryValueExW(key, u"GR\u00D6\u00DFE", nullptr, nullptr,
                              reinterpret_cast<BYTE*>(&value), &size),
             ERROR_SUCCESS);
   EXPECT_EQ(value, 42u);
   char16_t name[16];
   ASSERT_EQ(RegEnumValueW(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
   EXPECT_EQ(std::u16string(name, cch), u"Gr\u00F6\u00DFe");
   ASSERT_EQ(RegCreateKeyExW(key, u"new", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
             ERROR_SUCCESS);
   RegCloseKey(child);
   RegCloseKey(key);
   EXPECT_EQ(sqlOn(userFile, "PRAGMA user_version"), 1);
   EXPECT_EQ(sqlOn(userFile, "SELECT id FROM regkey WHERE length(name)=6"), 10)
       << "ids of deleted keys are not given out again";
}

// Files the store cannot use are left as they were, with a line on standard error.
TEST(RegistryStoreFormat, AFileItCannotConvertOrOfANewerFormatIsRefused) {
   struct Case {
      const char* sql;
      const char* report;
      int64_t keys, format;
   };
   // Without the C library's locale the first version folded ASCII only.
   const Case cases[] = {
       {"INSERT INTO regkey(parent, name, folded) VALUES (7, 'ä', 'ä'), (7, 'Ä', 'Ä')",
        "cannot be converted", 9, 0},
       {"PRAGMA user_version=2", "store format 2, which is newer", 7, 2}};
   for (const Case& c : cases) {
      TempDir dir;
      const std::string userFile = dir.file("user.sqlite");
      sqlOn(userFile, kFormat0);
      sqlOn(userFile, c.sql);
      ::testing::internal::CaptureStderr();
      HKEY key = nullptr;
      EXPECT_EQ(openMueller(dir, &key), ERROR_BADDB);
      EXPECT_NE(::testing::internal::GetCapturedStderr().find(c.report), std::string::npos);
      EXPECT_EQ(sqlOn(userFile, "SELECT count(*) FROM regkey"), c.keys);
      EXPECT_EQ(sqlOn(userFile, "PRAGMA user_version"), c.format);
   }
}

TEST(RegistryStoreFiles, TheUsersStoreIsPrivateTheMachinesReadable) {
   TempDir dir;
   std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
   const mode_t previous = ::umask(022);
   // A user store left readable by an earlier version is closed up too.
   sqlOn(dir.file("user.sqlite"), "PRAGMA journal_mode=WAL; CREATE TABLE t(x)");
   ::chmod(dir.file("user.sqlite").c_str(), 0644);
   {
      vo::test::ScopedRegistryBackend backend(
          voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
      for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
         HKEY key = nullptr;
         ASSERT_EQ(RegCreateKeyExW(root, u"Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                   nullptr),
                   ERROR_SUCCESS);
         EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_BINARY, reinterpret_cast<const BYTE*>("1"), 1),
                   ERROR_SUCCESS);
         RegCloseKey(key);
      }
      for (const char* file : {"user.sqlite", "user.sqlite-wal", "user.sqlite-shm"}) {
         struct stat info {};
         ASSERT_EQ(::stat(dir.file(file).c_str(), &info), 0) << file;
         EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
      }
      struct stat machine {};
      ASSERT_EQ(::stat(dir.file("machine.sqlite").c_str(), &machine), 0);
      EXPECT_EQ(machine.st_mode & 0777, 0644u);
   }
   ::umask(previous);
}

TEST(RegistryUpcase, MapsSingleUnitsByTheUnicodeSimpleUpperCase) {
   const std::pair<char16_t, char16_t> cases[] = {
       {u'a', u'A'},           {u'Z', u'Z'},           {u'_', u'_'},
       {u'\u00E4', u'\u00C4'}, {u'\u00FF', u'\u0178'}, {u'\u00B5', u'\u039C'},
       {u'\u0131', u'I'},      {u'\u03C2', u'\u03A3'}, {u'\u0436', u'\u0416'},
       {u'\uFF41', u'\uFF21'}, {u'\u00DF', u'\u00DF'}, {u'\xD83D', u'\xD83D'},
       {u'\xDE00', u'\xDE00'}, {u'\u4E00', u'\u4E00'},
   };
   for (const auto& [unit, upper] : cases)
      EXPECT_EQ(voplatform::registryUpcase(unit), upper) << std::hex << int(unit);
}

} // namespace
