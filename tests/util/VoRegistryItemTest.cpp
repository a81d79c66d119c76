#include <common/TempDir.h>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>

namespace {

using Item = VoRegistry::Item;
using ::testing::HasSubstr;

std::string messageOf(const std::function<void()>& f) {
   try {
      f();
   } catch (const SxException& e) {
      EXPECT_EQ(e.getSource(), "src/util/VoRegistry");
      return e.getMessage().str();
   }
   return "(no exception)";
}

TEST(VoRegistryItem, TypeNamesRoundTripAndAreCaseSensitive) {
   const char* names[] = {"REG_BINARY",    "REG_DWORD", "REG_DWORD_LITTLE_ENDIAN",
                          "REG_EXPAND_SZ", "REG_LINK",  "REG_MULTI_SZ",
                          "REG_NONE",      "REG_QWORD", "REG_QWORD_LITTLE_ENDIAN",
                          "REG_SZ"};
   for (int t = 0; t < 10; ++t) {
      const auto type = static_cast<Item::RegValType>(t);
      EXPECT_EQ(Item::type2String(type), names[t]);
      EXPECT_EQ(Item::string2Type(names[t]), type);
   }
   EXPECT_EQ(messageOf([] { (void)Item::type2String(static_cast<Item::RegValType>(12)); }),
             "Unknown Registry Value Type 12");
   EXPECT_EQ(messageOf([] { (void)Item::type2String(static_cast<Item::RegValType>(-3)); }),
             "Unknown Registry Value Type -3");
   EXPECT_EQ(messageOf([] { (void)Item::string2Type("reg_sz"); }),
             "Unknown Registry Value Type: reg_sz");
   EXPECT_EQ(messageOf([] { (void)Item::string2Type(""); }), "Unknown Registry Value Type: ");
   EXPECT_EQ(messageOf([] { (void)Item::string2Type(" REG_SZ"); }),
             "Unknown Registry Value Type:  REG_SZ");
}

TEST(VoRegistryItem, BinaryTextIsTwoLowerCaseDigitsPerByte) {
   EXPECT_EQ(Item::binary2String({0x00, 0xAB, 0x10}), "00ab10");
   EXPECT_EQ(Item::binary2String({}), "");
   EXPECT_EQ(Item::string2Binary("00AB10"), (SxArray<unsigned char>{0x00, 0xAB, 0x10}));
   EXPECT_EQ(Item::string2Binary("abc"), (SxArray<unsigned char>{0xAB}));
   EXPECT_EQ(Item::string2Binary(""), SxArray<unsigned char>{});
   EXPECT_EQ(Item::string2Binary(" f+a"), (SxArray<unsigned char>{0x0F, 0x0A}));

   SxArray<unsigned char> all;
   for (int b = 0; b < 256; ++b)
      all.append(static_cast<unsigned char>(b));
   EXPECT_EQ(Item::string2Binary(Item::binary2String(all)), all);
}

TEST(VoRegistryItem, BadHexPairsNameTheWholeTextAndThePair) {
   EXPECT_EQ(messageOf([] { (void)Item::string2Binary("0g12"); }),
             "Cannot convert 0g12 (0g) to binary data.");
   EXPECT_EQ(messageOf([] { (void)Item::string2Binary("zz"); }),
             "Cannot convert zz (zz) to binary data.");
   EXPECT_EQ(messageOf([] { (void)Item::string2Binary("00  "); }),
             "Cannot convert 00   (  ) to binary data.");
   EXPECT_EQ(messageOf([] {
                (void)Item::string2Binary("0\xC3\xA9"
                                          "1");
             }),
             "Cannot convert 0\xC3\xA9"
             "1 (0\xC3\xA9) to binary data.");
}

TEST(VoRegistryItem, RecordsCopyAllFourFields) {
   const Item a("HKLM/SOFTWARE/MORV", "Path", Item::Sz, "{{VODRIVE}}\\x");
   Item b;
   EXPECT_EQ(b.type, Item::None);
   EXPECT_TRUE(b.key.isEmpty() && b.value.isEmpty() && b.data.isEmpty());
   b = a;
   const Item c(a);
   for (const Item* i : std::initializer_list<const Item*>{&b, &c}) {
      EXPECT_EQ(i->key, a.key);
      EXPECT_EQ(i->value, a.value);
      EXPECT_EQ(i->type, a.type);
      EXPECT_EQ(i->data, a.data);
   }
}

TEST(VoRegistryItem, PrintWritesFiveLabelledMessages) {
   vo::test::TempDir dir;
   VoLog log(dir.file("print.log").c_str());
   log.disableLogToStdOut();
   Item().print();
   Item("HKCU/Software/T", "v", Item::DWord, "7").print();
   Item bad("K", "V", static_cast<Item::RegValType>(12), "D");
   EXPECT_EQ(messageOf([&] { bad.print(); }), "Unknown Registry Value Type 12");
   log.close();

   std::string text = vo::test::readFile(dir.file("print.log"));
   // Drop the time stamps to compare the rest exactly.
   std::string bodies;
   for (std::size_t pos = 0; pos < text.size();) {
      const std::size_t end = text.find('\n', pos);
      bodies += text.substr(pos + 20, end + 1 - (pos + 20));
      pos = end + 1;
   }
   const std::string frame = "[util] : +" + std::string(77, '-') + "\n";
   EXPECT_EQ(bodies, frame +
                         "[util] : key   : \n[util] : value : \n[util] : type  : REG_NONE\n"
                         "[util] : data  : \n" +
                         frame +
                         "[util] : key   : HKCU/Software/T\n[util] : value : v\n"
                         "[util] : type  : REG_DWORD\n[util] : data  : 7\n" +
                         frame + "[util] : key   : K\n[util] : value : V\n");
}

} // namespace
