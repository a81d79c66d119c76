// The POSIX registry functions against a store of their own in a temporary directory.

#include <algorithm>
#include <common/FaultInjectingRegistryBackend.h>
#include <common/TempDir.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <sx/SxError.h>
#include <unistd.h>
#include <vector>
#include <windows.h>

namespace {

using vo::test::ScopedRegistryBackend;
using vo::test::storeFilesIn;
using vo::test::TempDir;

// A key handle closed at the end of the test.
struct Key {
   HKEY h = nullptr;
   ~Key() {
      if (h) {
         EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
      }
   }
};

class RegistryApi : public ::testing::Test {
protected:
   TempDir dir;
   ScopedRegistryBackend backend{voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path()))};

   LSTATUS create(HKEY root, const char16_t* path, Key* key, REGSAM access = KEY_ALL_ACCESS) {
      return RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &key->h, nullptr);
   }
   LSTATUS open(HKEY root, const char16_t* path, Key* key, REGSAM access = KEY_READ) {
      return RegOpenKeyExW(root, path, 0, access, &key->h);
   }
   LSTATUS setDword(HKEY key, const char16_t* name, DWORD value) {
      return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
   }
};

TEST_F(RegistryApi, MissingKeysAndValuesAreNotFound) {
   Key k;
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"Software\\Nope", &k), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(k.h, nullptr) << "the handle must stay untouched on failure";
   EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Nope"), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, u"Software\\Nope", u"v"), ERROR_FILE_NOT_FOUND);
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\A", &k), ERROR_SUCCESS);
   DWORD size = 0;
   EXPECT_EQ(RegQueryValueExW(k.h, u"v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, u"Software\\A", u"v"), ERROR_FILE_NOT_FOUND);
   Key root;
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, nullptr, &root), ERROR_SUCCESS) << "a root opens itself";
}

TEST_F(RegistryApi, CreateMakesEveryLevelAndReportsDisposition) {
   Key k;
   DWORD disposition = 0;
   ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"A\\B\\C", 0, nullptr, 0, KEY_WRITE, nullptr,
                             &k.h, &disposition),
             ERROR_SUCCESS);
   EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
   Key again;
   ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"a\\b\\c", 0, nullptr, 0, KEY_WRITE, nullptr,
                             &again.h, &disposition),
             ERROR_SUCCESS);
   EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});
   Key middle;
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"A\\B", &middle), ERROR_SUCCESS);
   Key user;
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"A", &user), ERROR_FILE_NOT_FOUND)
       << "each root is a tree of its own";
}

TEST_F(RegistryApi, NamesAreCaseInsensitiveAndKeepTheirCase) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\MixedÄCase", &k), ERROR_SUCCESS);
   ASSERT_EQ(setDword(k.h, u"ValueÖ", 1), ERROR_SUCCESS);
   ASSERT_EQ(setDword(k.h, u"VALUEö", 2), ERROR_SUCCESS);
   Key lower;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"SOFTWARE\\mixedäcase", &lower), ERROR_SUCCESS);
   DWORD value = 0, size = sizeof value;
   ASSERT_EQ(RegQueryValueExW(lower.h, u"valueö", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                              &size),
             ERROR_SUCCESS);
   EXPECT_EQ(value, 2u);
   Key software;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"software", &software), ERROR_SUCCESS);
   char16_t name[64];
   DWORD cch = 64;
   ASSERT_EQ(RegEnumKeyExW(software.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
   EXPECT_EQ(std::u16string(name, cch), u"MixedÄCase");
   cch = 64;
   ASSERT_EQ(RegEnumValueW(lower.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
   EXPECT_EQ(std::u16string(name, cch), u"ValueÖ") << "replacing a value keeps its first name";
}

TEST_F(RegistryApi, DataIsStoredExactlyAndBuffersFollowTheWindowsRules) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Data", &k), ERROR_SUCCESS);
   const std::vector<BYTE> bytes = {0x00, 0xFF, 0x00, 0x10, 0x00};
   ASSERT_EQ(RegSetValueExW(k.h, u"bin", 0, 77, bytes.data(), 5), ERROR_SUCCESS);
   DWORD type = 0, size = 0;
   ASSERT_EQ(RegQueryValueExW(k.h, u"bin", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
   EXPECT_EQ(type, 77u);
   EXPECT_EQ(size, 5u);
   std::vector<BYTE> buffer(4, 0xAA);
   size = 4;
   type = 0;
   EXPECT_EQ(RegQueryValueExW(k.h, u"bin", nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
   EXPECT_EQ(size, 5u);
   EXPECT_EQ(buffer, std::vector<BYTE>(4, 0xAA)) << "a short buffer is left alone";
   buffer.assign(8, 0xAA);
   size = 8;
   ASSERT_EQ(RegQueryValueExW(k.h, u"bin", nullptr, nullptr, buffer.data(), &size), ERROR_SUCCESS);
   buffer.resize(size);
   EXPECT_EQ(buffer, bytes);
   EXPECT_EQ(RegQueryValueExW(k.h, u"bin", nullptr, nullptr, buffer.data(), nullptr),
             ERROR_INVALID_PARAMETER);

   std::vector<BYTE> large(100000);
   for (std::size_t i = 0; i < large.size(); ++i)
      large[i] = static_cast<BYTE>(i * 7);
   ASSERT_EQ(RegSetValueExW(k.h, u"large", 0, REG_BINARY, large.data(), 100000), ERROR_SUCCESS);
   buffer.assign(100000, 0);
   size = 100000;
   ASSERT_EQ(RegQueryValueExW(k.h, u"large", nullptr, nullptr, buffer.data(), &size),
             ERROR_SUCCESS);
   EXPECT_EQ(buffer, large);

   ASSERT_EQ(RegSetValueExW(k.h, nullptr, 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);
   size = 99;
   ASSERT_EQ(RegQueryValueExW(k.h, u"", nullptr, &type, nullptr, &size), ERROR_SUCCESS)
       << "the null and the empty name are both the default value";
   EXPECT_EQ(type, DWORD{REG_NONE});
   EXPECT_EQ(size, 0u);
}

TEST_F(RegistryApi, HandlesOnlyDoWhatTheyWereOpenedFor) {
   Key writable;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Rights", &writable, KEY_WRITE), ERROR_SUCCESS);
   ASSERT_EQ(setDword(writable.h, u"v", 1), ERROR_SUCCESS);
   DWORD size = 0;
   EXPECT_EQ(RegQueryValueExW(writable.h, u"v", nullptr, nullptr, nullptr, &size),
             ERROR_ACCESS_DENIED);
   Key readOnly;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Rights", &readOnly), ERROR_SUCCESS);
   EXPECT_EQ(setDword(readOnly.h, u"v", 2), ERROR_ACCESS_DENIED);
   EXPECT_EQ(RegDeleteKeyValueW(readOnly.h, nullptr, u"v"), ERROR_ACCESS_DENIED);
   EXPECT_EQ(setDword(writable.h, u"w", 1), ERROR_SUCCESS);
   EXPECT_EQ(RegDeleteKeyValueW(readOnly.h, u"", u"w"), ERROR_SUCCESS)
       << "an empty sub-path opens the key anew";
   EXPECT_EQ(RegDeleteTreeW(readOnly.h, nullptr), ERROR_ACCESS_DENIED);
   EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(&size)), ERROR_INVALID_HANDLE);
   EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(RegistryApi, AMachineStoreThatCannotBeWrittenDeniesWrites) {
   {
      Key k;
      ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", &k), ERROR_SUCCESS);
      ASSERT_EQ(setDword(k.h, u"v", 7), ERROR_SUCCESS);
   }
   ScopedRegistryBackend readOnly(
       voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path(), true)));
   Key k;
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", &k, KEY_WRITE), ERROR_ACCESS_DENIED);
   EXPECT_EQ(create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Other", &k), ERROR_ACCESS_DENIED);
   EXPECT_EQ(RegDeleteTreeW(HKEY_USERS, u"x"), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor"), ERROR_ACCESS_DENIED);
   ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", &k), ERROR_SUCCESS);
   DWORD value = 0, size = sizeof value;
   EXPECT_EQ(RegQueryValueExW(k.h, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
             ERROR_SUCCESS);
   EXPECT_EQ(value, 7u);
   Key user;
   EXPECT_EQ(create(HKEY_CURRENT_USER, u"Software\\Mine", &user), ERROR_SUCCESS);
}

TEST_F(RegistryApi, AMissingMachineStoreReadsAsEmpty) {
   ScopedRegistryBackend readOnly(
       voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.file("none"), true)));
   Key k;
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"SOFTWARE", &k), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(open(HKEY_LOCAL_MACHINE, nullptr, &k), ERROR_SUCCESS);
   EXPECT_FALSE(std::filesystem::exists(dir.file("none/machine.sqlite")));
}

TEST_F(RegistryApi, AHandleOfADeletedKeyReportsIt) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Gone\\Sub", &k), ERROR_SUCCESS);
   ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Gone"), ERROR_SUCCESS);
   Key again;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Gone\\Sub", &again), ERROR_SUCCESS);
   DWORD size = 0, count = 0;
   EXPECT_EQ(RegQueryValueExW(k.h, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
   EXPECT_EQ(setDword(k.h, u"v", 1), ERROR_KEY_DELETED);
   EXPECT_EQ(RegQueryInfoKeyW(k.h, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr),
             ERROR_KEY_DELETED);
   Key child;
   EXPECT_EQ(create(k.h, u"x", &child), ERROR_KEY_DELETED);
   EXPECT_EQ(create(k.h, u"\\x", &child), ERROR_KEY_DELETED) << "before the path is looked at";
   Key reader;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Gone", &reader, KEY_SET_VALUE), ERROR_SUCCESS);
   ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Gone"), ERROR_SUCCESS);
   EXPECT_EQ(RegQueryInfoKeyW(reader.h, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr),
             ERROR_KEY_DELETED);
}

TEST_F(RegistryApi, KeyNamesHoldUpTo256Units) {
   Key k;
   const std::u16string longest(256, u'k');
   Key missing;
   EXPECT_EQ(open(HKEY_CURRENT_USER, (u"L\\" + longest).c_str(), &missing), ERROR_FILE_NOT_FOUND);
   ASSERT_EQ(create(HKEY_CURRENT_USER, (u"L\\" + longest).c_str(), &k), ERROR_SUCCESS);
   Key tooLong;
   EXPECT_EQ(create(HKEY_CURRENT_USER, (u"L\\" + longest + u"k").c_str(), &tooLong),
             ERROR_INVALID_PARAMETER);
   EXPECT_EQ(open(HKEY_CURRENT_USER, (longest + u"k\\L").c_str(), &tooLong),
             ERROR_INVALID_PARAMETER);
   Key parent;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"L", &parent), ERROR_SUCCESS);
   std::u16string name(257, u'\0');
   DWORD cch = 256;
   EXPECT_EQ(RegEnumKeyExW(parent.h, 0, name.data(), &cch, nullptr, nullptr, nullptr, nullptr),
             ERROR_MORE_DATA);
   EXPECT_EQ(cch, 256u);
   cch = 257;
   ASSERT_EQ(RegEnumKeyExW(parent.h, 0, name.data(), &cch, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
   EXPECT_EQ(name.substr(0, cch), longest);
   const std::u16string valueName(16383, u'v');
   EXPECT_EQ(setDword(k.h, valueName.c_str(), 1), ERROR_SUCCESS);
   EXPECT_EQ(setDword(k.h, (valueName + u"v").c_str(), 1), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, TreesAreCountedEnumeratedAndDeleted) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"T", &k), ERROR_SUCCESS);
   Key b, a, deep;
   ASSERT_EQ(create(k.h, u"beta", &b), ERROR_SUCCESS);
   ASSERT_EQ(create(k.h, u"Alpha\\deep", &deep), ERROR_SUCCESS);
   ASSERT_EQ(setDword(deep.h, u"x", 1), ERROR_SUCCESS);
   ASSERT_EQ(setDword(k.h, u"zz", 1), ERROR_SUCCESS);
   ASSERT_EQ(
       RegSetValueExW(k.h, u"Long name", 0, REG_BINARY, reinterpret_cast<const BYTE*>("123456"), 6),
       ERROR_SUCCESS);
   DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
   ASSERT_EQ(RegQueryInfoKeyW(k.h, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                              &maxName, &maxData, nullptr, nullptr),
             ERROR_SUCCESS);
   EXPECT_EQ((std::vector<DWORD>{subKeys, maxSub, values, maxName, maxData}),
             (std::vector<DWORD>{2, 5, 2, 9, 6}));

   std::vector<std::u16string> names;
   char16_t name[16];
   DWORD cch = 16;
   for (DWORD i = 0;
        RegEnumKeyExW(k.h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        ++i, cch = 16)
      names.emplace_back(name, cch);
   EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta"}));
   cch = 5;
   EXPECT_EQ(RegEnumKeyExW(k.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA)
       << "the name needs room for its NUL";
   cch = 16;
   EXPECT_EQ(RegEnumValueW(k.h, 2, name, &cch, nullptr, nullptr, nullptr, nullptr),
             ERROR_NO_MORE_ITEMS);

   ASSERT_EQ(RegDeleteTreeW(k.h, nullptr), ERROR_SUCCESS);
   ASSERT_EQ(RegQueryInfoKeyW(k.h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
   EXPECT_EQ(subKeys + values, 0u) << "emptying a key through its handle keeps the key";
   Key gone;
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"T\\Alpha\\deep", &gone), ERROR_FILE_NOT_FOUND);
}

// The names of a key's subkeys (RegEnumKeyExW) or values (RegEnumValueW) in enumeration
// order, exactly as stored.
template <class Enum>
std::vector<std::u16string> namesOf(HKEY key, Enum&& enumerate) {
   std::vector<std::u16string> names;
   char16_t name[300];
   DWORD cch = 300;
   for (DWORD i = 0;
        enumerate(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        ++i, cch = 300)
      names.emplace_back(name, cch);
   return names;
}
std::vector<std::u16string> subKeyNames(HKEY key) {
   return namesOf(key, RegEnumKeyExW);
}
std::vector<std::u16string> valueNames(HKEY key) {
   return namesOf(key, RegEnumValueW);
}

TEST_F(RegistryApi, CreatingBelowAHandleOpenedForReadingFollowsTheParentsRights) {
   Key read;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\a", &read, KEY_READ), ERROR_SUCCESS);
   Key child;
   DWORD disposition = 0;
   ASSERT_EQ(
       RegCreateKeyExW(read.h, u"b", 0, nullptr, 0, KEY_READ, nullptr, &child.h, &disposition),
       ERROR_SUCCESS);
   EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
   ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\a"), ERROR_SUCCESS);
   Key orphan;
   EXPECT_EQ(create(read.h, u"c", &orphan), ERROR_KEY_DELETED);
}

TEST_F(RegistryApi, ASubPathMayNotBeginWithABackslash) {
   Key k;
   EXPECT_EQ(create(HKEY_CURRENT_USER, u"\\a", &k), ERROR_BAD_PATHNAME);
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"\\Software", &k), ERROR_BAD_PATHNAME);
   EXPECT_EQ(k.h, nullptr);
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\\\a\\", &k), ERROR_SUCCESS)
       << "doubled and trailing backslashes are skipped";
   Key again;
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"Software\\a", &again), ERROR_SUCCESS);
}

TEST_F(RegistryApi, NamesKeepLoneSurrogates) {
   Key parent;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software", &parent), ERROR_SUCCESS);
   const std::u16string low(1, u'\xDC00'), high(1, u'\xD800');
   for (const std::u16string& name : {low, high}) {
      Key k;
      DWORD disposition = 0;
      ASSERT_EQ(RegCreateKeyExW(parent.h, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &k.h, &disposition),
                ERROR_SUCCESS);
      EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
      ASSERT_EQ(setDword(parent.h, name.c_str(), 1), ERROR_SUCCESS);
   }
   EXPECT_EQ(subKeyNames(parent.h), (std::vector<std::u16string>{high, low}));
   EXPECT_EQ(valueNames(parent.h), (std::vector<std::u16string>{high, low}));
}

// Windows orders subkeys by their upper-cased UTF-16 units: a surrogate pair (D83D DE00) comes
// before U+FF41, and "_" (0x5F) after the letters.
TEST_F(RegistryApi, SubKeysAreOrderedByTheirUpperCasedUtf16Units) {
   Key parent;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Order", &parent), ERROR_SUCCESS);
   for (const char16_t* name : {u"\uFF41", u"\U0001F600", u"_x", u"b", u"A", u"\u00E4"}) {
      Key k;
      ASSERT_EQ(create(parent.h, name, &k), ERROR_SUCCESS);
   }
   EXPECT_EQ(subKeyNames(parent.h),
             (std::vector<std::u16string>{u"A", u"b", u"_x", u"\u00E4", u"\U0001F600", u"\uFF41"}));
}

TEST_F(RegistryApi, NonAsciiNamesFoldByTheirUpperCase) {
   Key parent;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Fold", &parent), ERROR_SUCCESS);
   // Each row: the name created first, then names that reach the same key.
   const std::vector<std::vector<std::u16string>> rows = {
       {u"\u00E4rger", u"\u00C4RGER"},   // ä, Ä
       {u"stra\u00DFe", u"STRA\u00DFE"}, // ß has no single upper case
       {u"\u03C3\u03BF\u03C6\u03AF\u03B1", u"\u03A3\u039F\u03A6\u038A\u0391"}, // Greek
       {u"\u03C2", u"\u03C3", u"\u03A3"},              // final sigma, sigma, capital sigma
       {u"\u0436\u0443\u043A", u"\u0416\u0423\u041A"}, // Cyrillic
   };
   for (const auto& row : rows) {
      Key first;
      ASSERT_EQ(create(parent.h, row[0].c_str(), &first), ERROR_SUCCESS);
      ASSERT_EQ(setDword(first.h, row[0].c_str(), 1), ERROR_SUCCESS);
      for (const std::u16string& other : row) {
         Key same;
         EXPECT_EQ(open(parent.h, other.c_str(), &same), ERROR_SUCCESS);
         DWORD size = 0;
         EXPECT_EQ(RegQueryValueExW(same.h, other.c_str(), nullptr, nullptr, nullptr, &size),
                   ERROR_SUCCESS);
      }
   }
   Key ss;
   EXPECT_EQ(open(parent.h, u"STRASSE", &ss), ERROR_FILE_NOT_FOUND);
   std::vector<std::u16string> firstNames;
   for (const auto& row : rows)
      firstNames.push_back(row[0]);
   std::vector<std::u16string> stored = subKeyNames(parent.h);
   std::sort(stored.begin(), stored.end());
   std::sort(firstNames.begin(), firstNames.end());
   EXPECT_EQ(stored, firstNames) << "each key keeps the name it was created with";
}

TEST_F(RegistryApi, EmptyingAKeyNeedsTheRightToChangeValuesOnlyWhenItHasSome) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Empty\\sub", &k), ERROR_SUCCESS);
   Key clearer;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Empty", &clearer, KEY_READ | DELETE), ERROR_SUCCESS);
   EXPECT_EQ(RegDeleteTreeW(clearer.h, nullptr), ERROR_SUCCESS);
   EXPECT_TRUE(subKeyNames(clearer.h).empty());
   Key writer;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Empty", &writer, KEY_SET_VALUE), ERROR_SUCCESS);
   ASSERT_EQ(setDword(writer.h, u"v", 1), ERROR_SUCCESS);
   EXPECT_EQ(RegDeleteTreeW(clearer.h, nullptr), ERROR_ACCESS_DENIED);
   Key reader;
   ASSERT_EQ(open(HKEY_CURRENT_USER, u"Empty", &reader, KEY_READ), ERROR_SUCCESS);
   ASSERT_EQ(RegDeleteKeyValueW(writer.h, nullptr, u"v"), ERROR_SUCCESS);
   EXPECT_EQ(RegDeleteTreeW(reader.h, nullptr), ERROR_ACCESS_DENIED) << "DELETE stays required";
}

TEST_F(RegistryApi, HandlesKeepTheBackendTheyWereOpenedWith) {
   Key k;
   ASSERT_EQ(create(HKEY_CURRENT_USER, u"Kept", &k), ERROR_SUCCESS);
   TempDir other;
   ScopedRegistryBackend swap(voplatform::makeSqliteRegistryBackend(storeFilesIn(other.path())));
   EXPECT_EQ(setDword(k.h, u"v", 1), ERROR_SUCCESS);
   Key there;
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"Kept", &there), ERROR_FILE_NOT_FOUND);
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
   const LSTATUS machine = open(HKEY_LOCAL_MACHINE, u"SOFTWARE", &k);
   const std::string err = ::testing::internal::GetCapturedStderr();
   EXPECT_NE(machine, ERROR_SUCCESS);
   EXPECT_NE(machine, ERROR_FILE_NOT_FOUND);
   EXPECT_NE(err.find("'" + dir.file("user.sqlite") + "'"), std::string::npos) << err;
   EXPECT_NE(err.find("'" + dir.file("machine.sqlite") + "'"), std::string::npos) << err;
   EXPECT_EQ(err.find("user.sqlite", err.find("user.sqlite") + 1), std::string::npos)
       << "one line per file, not per call";
}

TEST_F(RegistryApi, AnUnreadableStoreFileIsDenied) {
   if (::geteuid() == 0)
      GTEST_SKIP() << "root reads every file";
   {
      Key k;
      ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software", &k), ERROR_SUCCESS);
   }
   ScopedRegistryBackend fresh(voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path())));
   std::filesystem::permissions(dir.file("user.sqlite"), std::filesystem::perms::none);
   ::testing::internal::CaptureStderr();
   Key k;
   EXPECT_EQ(open(HKEY_CURRENT_USER, u"Software", &k), ERROR_ACCESS_DENIED);
   EXPECT_NE(::testing::internal::GetCapturedStderr().find(dir.file("user.sqlite")),
             std::string::npos);
}

TEST(RegistryStatus, NativeErrorsMapToWindowsStatuses) {
   using voplatform::winStatusFromNative;
   EXPECT_EQ(winStatusFromNative(SQLITE_DONE, 0), ERROR_SUCCESS);
   EXPECT_EQ(winStatusFromNative(SQLITE_BUSY_SNAPSHOT, 0), ERROR_BUSY);
   EXPECT_EQ(winStatusFromNative(SQLITE_READONLY, 0), ERROR_ACCESS_DENIED);
   EXPECT_EQ(winStatusFromNative(SQLITE_NOTADB, 0), ERROR_BADDB);
   EXPECT_EQ(winStatusFromNative(SQLITE_CORRUPT, 0), ERROR_BADDB);
   EXPECT_EQ(winStatusFromNative(SQLITE_FULL, 0), ERROR_DISK_FULL);
   EXPECT_EQ(winStatusFromNative(SQLITE_CANTOPEN, EACCES), ERROR_ACCESS_DENIED);
   EXPECT_EQ(winStatusFromNative(SQLITE_CANTOPEN, ENOENT), ERROR_PATH_NOT_FOUND);
   EXPECT_EQ(winStatusFromNative(SQLITE_CANTOPEN, 0), ERROR_CANTOPEN);
   EXPECT_EQ(winStatusFromNative(SQLITE_IOERR_WRITE, ENOSPC), ERROR_DISK_FULL);
   EXPECT_EQ(winStatusFromNative(SQLITE_IOERR_READ, EIO), ERROR_REGISTRY_IO_FAILED);
}

TEST(RegistryStatus, EveryStatusHasItsWindowsText) {
   EXPECT_EQ(sxstrerror(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.");
   EXPECT_EQ(sxstrerror(ERROR_ACCESS_DENIED), "Access is denied.");
   for (long status :
        {ERROR_SUCCESS, ERROR_PATH_NOT_FOUND, ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY,
         ERROR_DISK_FULL, ERROR_INVALID_PARAMETER, ERROR_BUSY, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS,
         ERROR_BADDB, ERROR_BADKEY, ERROR_CANTOPEN, ERROR_CANTREAD, ERROR_CANTWRITE,
         ERROR_REGISTRY_IO_FAILED, ERROR_KEY_DELETED})
      EXPECT_FALSE(sxstrerror(status).contains("Unknown error")) << status;
}

} // namespace
