// VoRegistry against the registry of the platform: our store on POSIX, the system's (or
// Wine's) on Windows. Every key is made below a scratch key of the test's own.

#include <common/RegistryScratch.h>
#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <vector>
#include <voplatform/RegKey.h>
#include <voutil/VoRegistry.h>
#include <windows.h>

namespace {

using Item = VoRegistry::Item;
using vo::test::messageOf;

const std::string kNotFound = sxstrerror(ERROR_FILE_NOT_FOUND).str();

class VoRegistryTest : public ::testing::Test {
protected:
   vo::test::RegistryScratch scratch;

   // The raw type and bytes of a value, read past the library.
   std::pair<DWORD, std::vector<BYTE>> raw(const SxString& below, const SxString& name) {
      const SxString sub = scratch.key(below).substitute("HKCU/", "").substitute("/", "\\");
      voplatform::RegKey key;
      EXPECT_EQ(
          RegOpenKeyExW(HKEY_CURRENT_USER, sub.utf16().elements(), 0, KEY_READ, key.receive()),
          ERROR_SUCCESS);
      DWORD type = 0, size = 64;
      std::vector<BYTE> bytes(size);
      EXPECT_EQ(
          RegQueryValueExW(key.get(), name.utf16().elements(), nullptr, &type, bytes.data(), &size),
          ERROR_SUCCESS);
      bytes.resize(size);
      return {type, bytes};
   }

   // Writes a value past the library, for types it cannot write itself.
   void writeRaw(const SxString& name, DWORD type, const std::vector<BYTE>& bytes) {
      VoRegistry::mkdir_p(scratch.key());
      const SxString sub = scratch.key().substitute("HKCU/", "").substitute("/", "\\");
      voplatform::RegKey key;
      ASSERT_EQ(
          RegOpenKeyExW(HKEY_CURRENT_USER, sub.utf16().elements(), 0, KEY_WRITE, key.receive()),
          ERROR_SUCCESS);
      EXPECT_EQ(RegSetValueExW(key.get(), name.utf16().elements(), 0, type, bytes.data(),
                               static_cast<DWORD>(bytes.size())),
                ERROR_SUCCESS);
   }
};

TEST_F(VoRegistryTest, ValuesRoundTripAsText) {
   const struct {
      Item::RegValType type;
      const char* data;
      const char* text;
   } cases[] = {{Item::DWord, "4294967295", "4294967295"},
                {Item::DWord, "", "0"},
                {Item::QWord, "18446744073709551615", "18446744073709551615"},
                {Item::Binary, "01FF", "01ff"},
                {Item::Binary, "", ""},
                {Item::Sz, "grüße", "grüße"},
                {Item::ExpandSz, "%PATH%", "%PATH%"},
                {Item::MultiSz, "one", "one"},
                {Item::None, "ignored", ""}};
   for (const auto& c : cases) {
      VoRegistry::setVal(scratch.key("a/b"), "v", c.type, c.data);
      EXPECT_EQ(VoRegistry::getVal(scratch.key("a/b"), "v").str(), c.text)
          << Item::type2String(c.type) << " " << c.data;
   }
}

TEST_F(VoRegistryTest, ValuesAreWrittenWithTheWindowsTypesAndBytes) {
   VoRegistry::setVal(scratch.key(), "q", Item::QWord, "5");
   EXPECT_EQ(raw("", "q"),
             (std::pair<DWORD, std::vector<BYTE>>{REG_QWORD, {5, 0, 0, 0, 0, 0, 0, 0}}));
   VoRegistry::setVal(scratch.key(), "d", Item::DWord, "");
   EXPECT_EQ(raw("", "d"), (std::pair<DWORD, std::vector<BYTE>>{REG_DWORD, {0, 0, 0, 0}}));
   VoRegistry::setVal(scratch.key(), "s", Item::Sz, "");
   EXPECT_EQ(raw("", "s"), (std::pair<DWORD, std::vector<BYTE>>{REG_SZ, {}}));
   VoRegistry::setVal(scratch.key(), "n", Item::None, "x");
   EXPECT_EQ(raw("", "n"), (std::pair<DWORD, std::vector<BYTE>>{REG_NONE, {}}));
   VoRegistry::setVal(scratch.key(), "e", Item::ExpandSz, "A");
   EXPECT_EQ(raw("", "e"), (std::pair<DWORD, std::vector<BYTE>>{REG_EXPAND_SZ, {'A', 0, 0, 0}}));
}

TEST_F(VoRegistryTest, ReadsStopAtTheFirstNulAndRefuseUnknownTypes) {
   writeRaw("multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
   EXPECT_EQ(VoRegistry::getVal(scratch.key(), "multi"), "a");
   writeRaw("unterminated", REG_SZ, {'h', 0, 'i', 0, '!'});
   EXPECT_EQ(VoRegistry::getVal(scratch.key(), "unterminated"), "hi");
   writeRaw("link", REG_LINK, {'x', 0});
   EXPECT_EQ(VoRegistry::getVal(scratch.key(), "link"), "");
   writeRaw("big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::getVal(scratch.key(), "big"); }),
             "Unknown Registry Value Type!");
}

TEST_F(VoRegistryTest, QuestionsAboutKeysAndValues) {
   EXPECT_TRUE(VoRegistry::contains("HKCU"));
   EXPECT_FALSE(VoRegistry::contains(scratch.key()));
   EXPECT_FALSE(VoRegistry::isReadable(scratch.key()));
   VoRegistry::setVal(scratch.key(), "val", Item::Sz, "x");
   VoRegistry::mkdir_p(scratch.key("Sub"));
   EXPECT_TRUE(VoRegistry::contains(scratch.key()));
   EXPECT_TRUE(VoRegistry::isReadable(scratch.key()));
   EXPECT_TRUE(VoRegistry::contains(scratch.key(), "VAL"));
   EXPECT_TRUE(VoRegistry::contains(scratch.key(), "sub"));
   EXPECT_FALSE(VoRegistry::contains(scratch.key(), "other"));
   EXPECT_TRUE(VoRegistry::isVal(scratch.key(), "val"));
   EXPECT_FALSE(VoRegistry::isVal(scratch.key(), "Sub")) << "a subkey is not a value";
   EXPECT_FALSE(VoRegistry::isVal(scratch.key("missing"), "val"));
   EXPECT_FALSE(VoRegistry::contains(scratch.key("missing"), "val"));

   EXPECT_EQ(VoRegistry::getNElems(scratch.key()), 2);
   EXPECT_EQ(VoRegistry::getNElems(scratch.key("Sub")), 0);
   EXPECT_TRUE(VoRegistry::isWritable(scratch.key("new/deeper")));
   EXPECT_TRUE(VoRegistry::contains(scratch.key("new/deeper"))) << "isWritable creates the key";
}

TEST_F(VoRegistryTest, RootRules) {
   EXPECT_FALSE(VoRegistry::contains("REGISTRY/MACHINE"));
   EXPECT_FALSE(VoRegistry::contains("REGISTRY/MACHINE", "x"));
   EXPECT_FALSE(VoRegistry::isWritable("REGISTRY/MACHINE"));
   EXPECT_EQ(VoRegistry::getNElems("REGISTRY/MACHINE"), 0);
   EXPECT_EQ(messageOf([] { (void)VoRegistry::isReadable("REGISTRY/MACHINE"); }),
             "Hidden registry root key in REGISTRY/MACHINE");
   const std::string forbidden =
       "Forbidden registry root key 'REGISTRY' in key 'REGISTRY/MACHINE'.";
   EXPECT_EQ(messageOf([] { (void)VoRegistry::getVal("REGISTRY/MACHINE", "x"); }), forbidden);
   EXPECT_EQ(messageOf([] { (void)VoRegistry::isVal("REGISTRY/MACHINE", "x"); }), forbidden);
   EXPECT_EQ(messageOf([] { VoRegistry::mkdir_p("REGISTRY/MACHINE"); }),
             "Forbidden registry root key.");
   EXPECT_EQ(messageOf([] { VoRegistry::setVal("REGISTRY/MACHINE", "v", Item::Sz, "x"); }),
             "Forbidden registry root key.");
   EXPECT_NO_THROW(VoRegistry::rm("REGISTRY/MACHINE", "v"));
   EXPECT_NO_THROW(VoRegistry::rm_rf("REGISTRY/MACHINE"));

   const std::string unknown = "Unknown registry root key 'hklm' in key 'hklm/SOFTWARE'.";
   EXPECT_EQ(messageOf([] { (void)VoRegistry::contains("hklm/SOFTWARE"); }), unknown);
   EXPECT_EQ(messageOf([] { (void)VoRegistry::contains("hklm/SOFTWARE", "v"); }), unknown);
   EXPECT_EQ(messageOf([] { (void)VoRegistry::isWritable("hklm/SOFTWARE"); }), unknown);
   EXPECT_EQ(messageOf([] { (void)VoRegistry::isVal("hklm/SOFTWARE", "v"); }), unknown);
   EXPECT_EQ(messageOf([] { (void)VoRegistry::getVal("hklm/SOFTWARE", "v"); }), unknown);
   EXPECT_EQ(messageOf([] { VoRegistry::setVal("hklm/SOFTWARE", "v", Item::Sz, "x"); }), unknown);
   EXPECT_EQ(messageOf([] { VoRegistry::rm("hklm/SOFTWARE", "v"); }), unknown);
   EXPECT_EQ(messageOf([] { VoRegistry::rm_rf("hklm/SOFTWARE"); }), unknown);
   EXPECT_EQ(messageOf([] { (void)VoRegistry::contains("HKLM\\SOFTWARE"); }),
             "Unknown registry root key 'HKLM\\SOFTWARE' in key 'HKLM\\SOFTWARE'.");
   EXPECT_EQ(messageOf([] { (void)VoRegistry::isReadable("XYZ/a"); }),
             "Unknown registry root key in XYZ/a");
   EXPECT_EQ(messageOf([] { (void)VoRegistry::getNElems("XYZ/a"); }),
             "Unknown registry root key XYZ/a");
   EXPECT_EQ(messageOf([] { VoRegistry::mkdir_p("XYZ/a"); }), "Unknown registry root key XYZ/a");
}

TEST_F(VoRegistryTest, ReadFailuresNameKeyValueAndCause) {
   const SxString missing = scratch.key("missing");
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::getVal(missing, "v"); }),
             "Can't open registry key '" + missing.str() + "' : " + kNotFound);
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::getNElems(missing); }),
             "Can't open registry key '" + missing.str() + "' : " + kNotFound);
   VoRegistry::mkdir_p(scratch.key());
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::getVal(scratch.key(), "v"); }),
             "Can't query registry key value 'v' in key '" + scratch.key().str() +
                 "' : " + kNotFound);
}

TEST_F(VoRegistryTest, RefusedTypesAndBadDataWriteNothing) {
   const SxString key = scratch.key();
   EXPECT_EQ(messageOf([&] { VoRegistry::setVal(key, "v", Item::Link, "x"); }),
             "Link' Registry Value Type not supported!");
   EXPECT_EQ(messageOf([&] { VoRegistry::setVal(key, "v", Item::DWordLittleEndian, "1"); }),
             "'DWordLittleEndian' Registry Value Type not supported!");
   EXPECT_EQ(messageOf([&] { VoRegistry::setVal(key, "v", Item::QWordLittleEndian, "1"); }),
             "'QWordLittleEndian' Registry Value Type not supported!");
   EXPECT_EQ(
       messageOf([&] { VoRegistry::setVal(key, "v", static_cast<Item::RegValType>(42), "1"); }),
       "Unknown Registry Value Type");
   EXPECT_EQ(messageOf([&] { VoRegistry::setVal(key, "v", Item::Binary, "zz"); }),
             "Cannot convert zz (zz) to binary data.");
   EXPECT_TRUE(VoRegistry::contains(key)) << "the key path was created first";
   EXPECT_FALSE(VoRegistry::isVal(key, "v"));
}

TEST_F(VoRegistryTest, MkdirCreatesEveryLevelOnce) {
   VoRegistry::mkdir_p(scratch.key("Ka/Kb/Kc"));
   EXPECT_TRUE(VoRegistry::contains(scratch.key("Ka")));
   EXPECT_TRUE(VoRegistry::contains(scratch.key("Ka/Kb/Kc")));
   VoRegistry::setVal(scratch.key("Ka/Kb/Kc"), "v", Item::Sz, "kept");
   VoRegistry::mkdir_p(scratch.key("Ka/Kb/Kc"));
   EXPECT_EQ(VoRegistry::getVal(scratch.key("Ka/Kb/Kc"), "v"), "kept");
   EXPECT_NO_THROW(VoRegistry::mkdir_p("HKCU"));
}

TEST_F(VoRegistryTest, Removal) {
   VoRegistry::setVal(scratch.key(), "v", Item::Sz, "x");
   VoRegistry::setVal(scratch.key("Sub/Deep"), "w", Item::Sz, "y");
   VoRegistry::rm(scratch.key(), "v");
   EXPECT_FALSE(VoRegistry::isVal(scratch.key(), "v"));
   EXPECT_NO_THROW(VoRegistry::rm(scratch.key(), "v"));
   EXPECT_EQ(messageOf([&] { VoRegistry::rm(scratch.key(), "Sub"); }),
             "Can't delete value 'Sub' in registry key '" + scratch.key().str() +
                 "' : " + kNotFound);

   VoRegistry::rmdir(scratch.key("Sub"));
   EXPECT_TRUE(VoRegistry::contains(scratch.key("Sub"))) << "a key with subkeys stays";
   VoRegistry::rmdir(scratch.key("Sub/Deep"));
   EXPECT_TRUE(VoRegistry::contains(scratch.key("Sub/Deep"))) << "a key with values stays";
   VoRegistry::rm(scratch.key("Sub/Deep"), "w");
   VoRegistry::rmdir(scratch.key("Sub/Deep"));
   EXPECT_FALSE(VoRegistry::contains(scratch.key("Sub/Deep")));
   EXPECT_NO_THROW(VoRegistry::rmdir(scratch.key("Sub/Deep")));

   VoRegistry::setVal(scratch.key("Sub/Deep/Deeper"), "w", Item::Sz, "y");
   VoRegistry::rm_rf(scratch.key("Sub"));
   EXPECT_FALSE(VoRegistry::contains(scratch.key("Sub")));
   EXPECT_TRUE(VoRegistry::contains(scratch.key()));
   EXPECT_NO_THROW(VoRegistry::rm_rf(scratch.key("Sub")));
}

TEST_F(VoRegistryTest, KeyHandlesMoveAndGiveUpTheirKeys) {
   VoRegistry::mkdir_p(scratch.key());
   const SxString sub = scratch.key().substitute("HKCU/", "").substitute("/", "\\");
   voplatform::RegKey a;
   ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, sub.utf16().elements(), 0, KEY_READ, a.receive()),
             ERROR_SUCCESS);
   const HKEY opened = a.get();
   voplatform::RegKey b(std::move(a));
   EXPECT_FALSE(a);
   EXPECT_EQ(b.get(), opened);
   voplatform::RegKey c;
   c = std::move(b);
   EXPECT_FALSE(b);
   const HKEY released = c.release();
   EXPECT_FALSE(c);
   EXPECT_EQ(RegCloseKey(released), ERROR_SUCCESS) << "release leaves the key open";
   EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, sub.utf16().elements(), 0, KEY_READ, c.receive()),
             ERROR_SUCCESS);
   c.reset();
   EXPECT_FALSE(c);
}

} // namespace
