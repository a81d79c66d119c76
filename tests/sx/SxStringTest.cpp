#include <cstdint>
#include <gtest/gtest.h>
#include <sx/SxString.h>

namespace {

TEST(SxString, ConvertsBetweenUtf8AndUtf16IncludingSurrogatePairs) {
   const SxString s = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"; // A, e-acute, euro, an emoji
   EXPECT_EQ(s.getSize(), 4);
   const SxArray<SxChar16> units = s.utf16();
   const SxArray<SxChar16> expected{0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0};
   EXPECT_EQ(units, expected);
   EXPECT_EQ(SxString::fromUtf16(reinterpret_cast<const char16_t*>(units.elements())), s);
   EXPECT_EQ(SxString().utf16(), SxArray<SxChar16>{0}) << "the terminator is always there";
}

TEST(SxString, ReplacesMalformedInputSoTheTextStaysValidUtf8) {
   const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
   EXPECT_EQ(SxString::fromUtf16(loneSurrogate), "a\xEF\xBF\xBD"
                                                 "b");
   EXPECT_EQ(SxString("x\xFFy"), "x\xEF\xBF\xBDy");
   EXPECT_EQ(SxString("\xC3"), "\xEF\xBF\xBD") << "a sequence cut short at the end";
   EXPECT_EQ(SxString::fromAscii("a\xE9"), "a\xEF\xBF\xBD");
   EXPECT_EQ(SxString("a\xC3\xA9").ascii(), "a?");
   const char16_t withNul[] = {u'a', 0, u'b'};
   EXPECT_EQ(SxString::fromUtf16(withNul, 3).getNBytes(), 3) << "an explicit length keeps NULs";
}

TEST(SxString, TokenizeDropsEmptyPiecesUnlessAskedToKeepThem) {
   EXPECT_EQ(SxString("HKLM//SOFTWARE/").tokenize("/"), (SxList<SxString>{"HKLM", "SOFTWARE"}));
   EXPECT_EQ(SxString("a\n\nb").tokenize("\n", true), (SxList<SxString>{"a", "", "b"}));
   EXPECT_TRUE(SxString("").tokenize("\n").isEmpty());
   EXPECT_EQ(SxString("a::b").tokenize("::"), (SxList<SxString>{"a", "b"}));
   EXPECT_EQ(SxString::join({"D:", "Tools", "bin"}, "/"), "D:/Tools/bin");
   EXPECT_EQ(SxString::join({}, "/"), "");
}

TEST(SxString, SearchesAndEditsCountCharactersNotBytes) {
   const SxString s = "\xC3\xA9t\xC3\xA9 ete";
   EXPECT_EQ(s.find("t"), 1);
   EXPECT_EQ(s.find("t", 2), 5);
   EXPECT_EQ(s.find("x"), -1);
   EXPECT_TRUE(s.contains("te"));
   EXPECT_EQ(s.subString(1, 2), "t\xC3\xA9");
   EXPECT_EQ(s.tail(3), "ete");
   EXPECT_EQ(SxString("a\\b\\\\c").substitute("\\", "/"), "a/b//c");
   EXPECT_EQ(SxString("aaa").substitute("aa", "b"), "ba");
   EXPECT_EQ(SxString(" a\tb\r\nc ").removeWhiteSpace(), "abc");

   SxString r = "D:\\x\\y";
   r.resize(3, true);
   EXPECT_EQ(r, "D:\\");
   r.resize(5, true);
   EXPECT_EQ(r, "D:\\  ");
   r.resize(2, false);
   EXPECT_EQ(r, "  ");
}

TEST(SxString, FormatsNumbers) {
   EXPECT_EQ(SxString(-12), "-12");
   EXPECT_EQ(SxString(18446744073709551615ULL), "18446744073709551615");
   EXPECT_EQ(SxString(0.5), "0.5");
   EXPECT_EQ(SxString(50.0), "50");
   EXPECT_EQ(SxString(0.1), "0.1");
   EXPECT_EQ(SxString(1e21), "1e+21");
   EXPECT_EQ(SxString::sprintf("%-6s|%5.2f|%03d", "ab", 3.14159, 7), "ab    | 3.14|007");
}

TEST(SxString, NumberParserToleratesBlanksAndPlusAndFlagsEverythingElse) {
   struct Case {
      const char* text;
      int value;
      bool error;
   };
   const Case hexBytes[] = {{"ff", 255, false}, {" f", 15, false}, {"f\t", 15, false},
                            {"+a", 10, false},  {"0g", 0, true},   {"  ", 0, true},
                            {"", 0, true},      {"-1", 0, true},   {"1 2", 1, true}};
   for (const Case& c : hexBytes) {
      bool error = !c.error;
      const auto v = SxString(c.text).toNumber<unsigned char>(&error, 16);
      EXPECT_EQ(error, c.error) << "'" << c.text << "'";
      if (!c.error) {
         EXPECT_EQ(v, c.value) << "'" << c.text << "'";
      }
   }
   bool error = false;
   (void)SxString("100").toNumber<unsigned char>(&error, 16);
   EXPECT_TRUE(error) << "256 does not fit a byte";
   EXPECT_EQ(SxString("-128").toNumber<int8_t>(&error), -128);
   EXPECT_FALSE(error);
   (void)SxString("99999999999999999999999").toNumber<uint64_t>(&error);
   EXPECT_TRUE(error);
}

TEST(SxString, IntegerReadersAcceptTheUnsignedRangeOfTheirWidth) {
   bool error = true;
   EXPECT_EQ(SxString("4294967295").toInt(&error), -1);
   EXPECT_FALSE(error);
   EXPECT_EQ(SxString("-2147483648").toInt(&error), INT32_MIN);
   EXPECT_FALSE(error);
   (void)SxString("4294967296").toInt(&error);
   EXPECT_TRUE(error);
   EXPECT_EQ(SxString("18446744073709551615").toInt64(&error), -1);
   EXPECT_FALSE(error);
   EXPECT_EQ(SxString("-5").toInt64(&error), -5);
   EXPECT_EQ(SxString("12ab").toInt(&error), 12) << "the value read before the bad character";
   EXPECT_TRUE(error);
   EXPECT_EQ(SxString("7f").toInt(nullptr, 16), 127);
}

} // namespace
