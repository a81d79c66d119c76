#include <gtest/gtest.h>
#include <string>
#include <sx/SxUtf.h>

namespace {

using Surrogates = SxUtf::Surrogates;

// Decodes the whole text, one code point per element.
std::u32string decodeAll(std::string_view text, Surrogates surrogates = Surrogates::Replace) {
   std::u32string out;
   for (std::size_t pos = 0; pos < text.size();)
      out += SxUtf::decodeUtf8(text, pos, surrogates);
   return out;
}

TEST(SxUtf, MalformedUtf8DecodesAsOneReplacementPerByte) {
   const struct {
      const char* text;
      std::u32string expected;
   } cases[] = {
       {"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"A\u00E9\u20AC\U0001F600"},
       {"\x80x", U"\uFFFDx"},                             // stray continuation byte
       {"\xC0\xAF", U"\uFFFD\uFFFD"},                     // overlong '/'
       {"\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD"},           // overlong three-byte form
       {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
       {"\xF5\x80", U"\uFFFD\uFFFD"},                     // lead byte that never starts a sequence
       {"\xE2\x82", U"\uFFFD\uFFFD"},                     // cut short by the end
       {"\xE2(\xAC", U"\uFFFD(\uFFFD"},                   // cut short by a non-continuation byte
       {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},           // an encoded surrogate
       {"\xEF\xBF\xBD", U"\uFFFD"},                       // a real U+FFFD is one character
   };
   for (const auto& c : cases) {
      EXPECT_EQ(decodeAll(c.text), c.expected) << c.text;
      EXPECT_EQ(SxUtf::firstMalformed(c.text) == std::string_view::npos,
                c.expected.find(U'\uFFFD') == std::u32string::npos ||
                    std::string_view(c.text) == "\xEF\xBF\xBD")
          << c.text;
   }
   EXPECT_EQ(SxUtf::sanitize("x\xFFy\xEF\xBF\xBD"), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(SxUtf, LoneSurrogatesAreReplacedOrKeptAsWtf8) {
   const std::u16string units = {u'a', 0xD800, u'b', 0xDE00, 0xD83D, 0xDE00, 0xDBFF};
   EXPECT_EQ(SxUtf::utf16ToUtf8(units), "a\xEF\xBF\xBD"
                                        "b\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD");
   const std::string wtf8 = SxUtf::utf16ToUtf8(units, Surrogates::Keep);
   EXPECT_EQ(wtf8, "a\xED\xA0\x80"
                   "b\xED\xB8\x80\xF0\x9F\x98\x80\xED\xAF\xBF");
   EXPECT_EQ(SxUtf::utf8ToUtf16(wtf8, Surrogates::Keep), units) << "the round trip is exact";
   EXPECT_EQ(SxUtf::utf8ToUtf16(wtf8.substr(0, 5)), u"a\uFFFD\uFFFD\uFFFDb")
       << "without Keep an encoded surrogate is three malformed bytes";
   EXPECT_EQ(SxUtf::utf8ToUtf16("\xED\xA0\xBD\xED\xB8\x80", Surrogates::Keep),
             (std::u16string{0xD83D, 0xDE00}))
       << "an encoded pair decodes to the units of the pair";
   EXPECT_EQ(SxUtf::utf16Length(wtf8), units.size());
}

TEST(SxUtf, EncodingReplacesWhatIsNoCharacter) {
   std::string out;
   SxUtf::appendUtf8(out, 0x110000);
   SxUtf::appendUtf8(out, 0xDC00);
   EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
   char16_t pair[2];
   ASSERT_EQ(SxUtf::encodeUtf16(0x10FFFF, pair), 2);
   EXPECT_EQ(pair[0], 0xDBFF);
   EXPECT_EQ(pair[1], 0xDFFF);
   ASSERT_EQ(SxUtf::encodeUtf16(0xD800, pair), 1);
   EXPECT_EQ(pair[0], 0xFFFD);
   ASSERT_EQ(SxUtf::encodeUtf16(0xD800, pair, Surrogates::Keep), 1);
   EXPECT_EQ(pair[0], 0xD800);
}

TEST(SxUtf, BoundariesNeverSplitACharacter) {
   const std::string_view text = "a\xC3\xA9\xF0\x9F\x98\x80z"; // a, e-acute, emoji, z
   EXPECT_EQ(SxUtf::countChars(text), 4);
   EXPECT_EQ(SxUtf::utf16Length(text), 5u);
   const std::size_t offsets[] = {0, 1, 3, 7, 8, 8};
   for (std::ptrdiff_t i = 0; i < 6; ++i)
      EXPECT_EQ(SxUtf::byteOffset(text, i), offsets[i]) << i;
   const std::size_t next[] = {1, 3, 3, 7, 7, 7, 7, 8, 8};
   const std::size_t before[] = {0, 1, 1, 3, 3, 3, 3, 7, 8};
   for (std::size_t pos = 0; pos <= text.size(); ++pos) {
      EXPECT_EQ(SxUtf::nextBoundary(text, pos), pos == 0 ? 1 : next[pos]) << pos;
      EXPECT_EQ(SxUtf::boundaryAtOrBefore(text, pos), before[pos]) << pos;
   }
   EXPECT_EQ(SxUtf::completePrefix(text.substr(0, 6)), 3u) << "three of the emoji's four bytes";
   EXPECT_EQ(SxUtf::completePrefix(text.substr(0, 2)), 1u);
   EXPECT_EQ(SxUtf::completePrefix(text), text.size());
   EXPECT_EQ(SxUtf::completePrefix("\x80\x80"), 2u) << "bytes that can never complete go on";
}

} // namespace
