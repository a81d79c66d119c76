#include <common/Messages.h>
#include <common/TempDir.h>
#include <gtest/gtest.h>
#include <regex>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>

namespace {

using Item = VoRegistry::Item;
using vo::test::messageOf;

TEST(VoRegistryItem, TypeNamesRoundTripAndOthersAreRefused) {
   const char* names[] = {"REG_BINARY",    "REG_DWORD", "REG_DWORD_LITTLE_ENDIAN",
                          "REG_EXPAND_SZ", "REG_LINK",  "REG_MULTI_SZ",
                          "REG_NONE",      "REG_QWORD", "REG_QWORD_LITTLE_ENDIAN",
                          "REG_SZ"};
   for (int t = 0; t < 10; ++t) {
      EXPECT_EQ(Item::type2String(static_cast<Item::RegValType>(t)), names[t]);
      EXPECT_EQ(Item::string2Type(names[t]), static_cast<Item::RegValType>(t));
   }
   const auto e = vo::test::raisedBy([] { (void)Item::type2String(Item::RegValType(10)); });
   ASSERT_TRUE(e);
   EXPECT_EQ(e->getMessage(), "Unknown Registry Value Type 10");
   EXPECT_EQ(e->getSource(), "src/util/VoRegistry");
   EXPECT_EQ(messageOf([] { (void)Item::type2String(Item::RegValType(-1)); }),
             "Unknown Registry Value Type -1");
}

TEST(VoRegistryItem, BinaryTextIsTwoDigitsPerByte) {
   EXPECT_EQ(Item::string2Binary("abc"), (SxArray<unsigned char>{0xAB})) << "odd digit dropped";
   SxArray<unsigned char> all;
   for (int b = 0; b < 256; ++b)
      all.append(static_cast<unsigned char>(b));
   EXPECT_EQ(Item::string2Binary(Item::binary2String(all)), all);
   // A pair is two characters, not two bytes.
   EXPECT_EQ(messageOf([] { (void)Item::string2Binary("000g12"); }),
             "Cannot convert 000g12 (0g) to binary data.");
   EXPECT_EQ(messageOf([] { (void)Item::string2Binary("0\u00E91"); }),
             "Cannot convert 0\u00E91 (0\u00E9) to binary data.");
}

TEST(VoRegistryItem, PrintWritesFiveLabelledMessages) {
   vo::test::TempDir dir;
   VoLog log(dir.file("print.log").c_str());
   log.disableLogToStdOut();
   Item().print();
   EXPECT_THROW(Item("K", "V", Item::RegValType(12), "D").print(), SxException);
   log.close();

   // The time stamps (the first 20 characters of each line) dropped, the rest compares exactly.
   const std::string bodies = std::regex_replace(vo::test::readFile(dir.file("print.log")),
                                                 std::regex("(^|\n).{20}"), "$1");
   const std::string frame = "[util] : +" + std::string(77, '-') + "\n";
   EXPECT_EQ(bodies, frame +
                         "[util] : key   : \n[util] : value : \n[util] : type  : REG_NONE\n"
                         "[util] : data  : \n" +
                         frame + "[util] : key   : K\n[util] : value : V\n");
}

} // namespace
