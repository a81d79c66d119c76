// VoRegistry against the registry of the platform: our store on POSIX, the system's (or
// Wine's) on Windows. Every key is made below a scratch key of the test's own.

#include <common/RegistryScratch.h>
#include <functional>
#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <vector>
#include <voplatform/RegKey.h>
#include <voutil/VoRegistry.h>
#include <windows.h>

namespace {

using Item = VoRegistry::Item;
using Bytes = std::vector<BYTE>;
using vo::test::messageOf;

const std::string kNotFound = sxstrerror(ERROR_FILE_NOT_FOUND).str();

class VoRegistryTest : public ::testing::Test {
protected:
   vo::test::RegistryScratch scratch;
   const SxString key = scratch.key();
};

TEST_F(VoRegistryTest, ValuesAreWrittenWithTheWindowsTypesAndReadBackAsText) {
   const struct {
      Item::RegValType type;
      const char* data;
      DWORD winType;
      const char* bytes; // in hexadecimal
      const char* text;
   } cases[] = {
       {Item::DWord, "", REG_DWORD, "00000000", "0"},
       {Item::Binary, "", REG_BINARY, "", ""},
       {Item::Sz, "gr\xC3\xBC\xC3\x9F", REG_SZ, "67007200fc00df000000", "gr\xC3\xBC\xC3\x9F"},
       {Item::Sz, "", REG_SZ, "", ""},
       {Item::ExpandSz, "%A%", REG_EXPAND_SZ, "2500410025000000", "%A%"},
       {Item::MultiSz, "one", REG_MULTI_SZ, "6f006e0065000000", "one"},
       {Item::None, "ignored", REG_NONE, "", ""}};
   const voplatform::RegKey opened = scratch.open(KEY_READ);
   for (const auto& c : cases) {
      SCOPED_TRACE(Item::type2String(c.type).str() + " " + c.data);
      VoRegistry::setVal(key, "v", c.type, c.data);
      EXPECT_EQ(VoRegistry::getVal(key, "v").str(), c.text);
      DWORD type = 0, size = 64;
      Bytes bytes(size);
      EXPECT_EQ(RegQueryValueExW(opened.get(), SxString("v").utf16().elements(), nullptr, &type,
                                 bytes.data(), &size),
                ERROR_SUCCESS);
      EXPECT_EQ(type, c.winType);
      EXPECT_EQ(Item::binary2String(SxArray<unsigned char>(bytes.data(), size)), c.bytes);
   }
}

TEST_F(VoRegistryTest, ReadsStopAtTheFirstNulAndRefuseUnknownTypes) {
   const struct {
      DWORD type;
      Bytes bytes;
      const char* text; // or the message of the refused read
   } cases[] = {{REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}, "a"},
                {REG_SZ, {'h', 0, 'i', 0, '!'}, "hi"},
                {REG_DWORD, {1, 2}, "513"},
                {REG_LINK, {'x', 0}, ""},
                {REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, "Unknown Registry Value Type!"}};
   const voplatform::RegKey opened = scratch.open(KEY_WRITE);
   for (const auto& c : cases) {
      ASSERT_EQ(RegSetValueExW(opened.get(), SxString("raw").utf16().elements(), 0, c.type,
                               c.bytes.data(), static_cast<DWORD>(c.bytes.size())),
                ERROR_SUCCESS);
      std::string text;
      const std::string message = messageOf([&] { text = VoRegistry::getVal(key, "raw").str(); });
      EXPECT_EQ(message == "<nothing thrown>" ? text : message, c.text) << c.type;
   }
}

TEST_F(VoRegistryTest, QuestionsAboutKeysAndValues) {
   EXPECT_TRUE(VoRegistry::contains("HKCU"));
   EXPECT_FALSE(VoRegistry::isReadable(key));
   VoRegistry::setVal(key, "val", Item::Sz, "x");
   VoRegistry::mkdir_p(scratch.key("Sub"));
   EXPECT_TRUE(VoRegistry::isReadable(key));
   EXPECT_FALSE(VoRegistry::contains(scratch.key("missing"), "val"));
   EXPECT_TRUE(VoRegistry::isVal(key, "val"));
   EXPECT_FALSE(VoRegistry::isVal(key, "Sub")) << "a subkey is not a value";
   EXPECT_FALSE(VoRegistry::isVal(scratch.key("missing"), "val"));
}

// The reserved root answers questions neutrally and refuses the rest; each operation has its
// own wording for the reserved and for an unknown root.
TEST_F(VoRegistryTest, RootRules) {
   const char* reserved = "REGISTRY/MACHINE";
   EXPECT_FALSE(VoRegistry::contains(reserved));
   EXPECT_FALSE(VoRegistry::contains(reserved, "x"));
   EXPECT_EQ(VoRegistry::getNElems(reserved), 0);
   EXPECT_NO_THROW(VoRegistry::rm(reserved, "v"));
   EXPECT_NO_THROW(VoRegistry::rm_rf(reserved));

   const std::string forbidden =
       "Forbidden registry root key 'REGISTRY' in key 'REGISTRY/MACHINE'.";
   const std::string refused = "Forbidden registry root key.";
   const std::string unknown = "Unknown registry root key 'hklm' in key 'hklm/SOFTWARE'.";
   const std::pair<std::function<void()>, std::string> cases[] = {
       {[&] { (void)VoRegistry::isReadable(reserved); },
        "Hidden registry root key in REGISTRY/MACHINE"},
       {[] { (void)VoRegistry::isReadable("XYZ/a"); }, "Unknown registry root key in XYZ/a"},
       {[&] { (void)VoRegistry::getVal(reserved, "x"); }, forbidden},
       {[&] { (void)VoRegistry::isVal(reserved, "x"); }, forbidden},
       {[] { (void)VoRegistry::contains("hklm/SOFTWARE"); }, unknown},
       {[] { (void)VoRegistry::contains("HKLM\\SOFTWARE"); },
        "Unknown registry root key 'HKLM\\SOFTWARE' in key 'HKLM\\SOFTWARE'."},
       {[] { (void)VoRegistry::getNElems("XYZ/a"); }, "Unknown registry root key XYZ/a"},
       {[&] { VoRegistry::mkdir_p(reserved); }, refused},
       {[] { VoRegistry::mkdir_p("XYZ/a"); }, "Unknown registry root key XYZ/a"},
       {[&] { VoRegistry::setVal(reserved, "v", Item::Sz, "x"); }, refused},
       {[] { VoRegistry::setVal("hklm/SOFTWARE", "v", Item::Sz, "x"); }, unknown},
       {[] { VoRegistry::mkdir_pAsAdmin("REGISTRY/MACHINE/x"); }, refused},
       {[] { VoRegistry::setValAsAdmin("REGISTRY/a", "v", Item::Sz, ""); }, refused},
   };
   for (const auto& [call, message] : cases)
      EXPECT_EQ(messageOf(call), message);
}

TEST_F(VoRegistryTest, FailuresNameKeyValueAndCause) {
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::getVal(key, "v"); }),
             "Can't open registry key '" + key.str() + "' : " + kNotFound);
   const struct {
      Item::RegValType type;
      const char* data;
      const char* message;
   } refused[] = {
       {Item::DWordLittleEndian, "1", "'DWordLittleEndian' Registry Value Type not supported!"},
       {Item::QWordLittleEndian, "1", "'QWordLittleEndian' Registry Value Type not supported!"},
       {Item::RegValType(42), "1", "Unknown Registry Value Type"}};
   for (const auto& c : refused)
      EXPECT_EQ(messageOf([&] { VoRegistry::setVal(key, "v", c.type, c.data); }), c.message);
   EXPECT_TRUE(VoRegistry::contains(key)) << "the key path is created first";
}

TEST_F(VoRegistryTest, MakingAndRemoving) {
   VoRegistry::setVal(scratch.key("Sub/Deep"), "w", Item::Sz, "kept");
   VoRegistry::mkdir_p(scratch.key("Sub/Deep"));
   EXPECT_EQ(VoRegistry::getVal(scratch.key("Sub/Deep"), "w"), "kept");
   EXPECT_EQ(messageOf([&] { VoRegistry::rm(key, "Sub"); }),
             "Can't delete value 'Sub' in registry key '" + key.str() + "' : " + kNotFound);

   VoRegistry::rmdir(scratch.key("Sub"));
   EXPECT_TRUE(VoRegistry::contains(scratch.key("Sub"))) << "a key with subkeys stays";
   VoRegistry::rmdir(scratch.key("Sub/Deep"));
   EXPECT_TRUE(VoRegistry::contains(scratch.key("Sub/Deep"))) << "a key with values stays";
   VoRegistry::rm(scratch.key("Sub/Deep"), "w");
   VoRegistry::rmdir(scratch.key("Sub/Deep"));
   EXPECT_FALSE(VoRegistry::contains(scratch.key("Sub/Deep")));
}

// Move construction is used nowhere in the library, so only this test reaches it.
TEST_F(VoRegistryTest, AMovedKeyHandleHandsItsKeyOver) {
   voplatform::RegKey from = scratch.open(KEY_READ);
   const HKEY opened = from.get();
   const voplatform::RegKey to(std::move(from));
   EXPECT_FALSE(from) << "a moved handle is empty";
   EXPECT_EQ(to.get(), opened);
}

} // namespace
