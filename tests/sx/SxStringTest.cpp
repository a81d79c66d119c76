#include <common/Messages.h>
#include <gtest/gtest.h>
#include <optional>
#include <sx/SxException.h>
#include <sx/SxJSONParser.h>
#include <sx/SxRegex.h>
#include <sx/SxSchema.h>
#include <sx/SxString.h>
#include <sx/SxUtf.h>

namespace {

using SxParserKit::SxSymbol;
using Surrogates = SxUtf::Surrogates;
using vo::test::messageOf;
using vo::test::raisedBy;

// What call raises as "[Tag] message", so that one comparison checks both.
template <class Call>
std::string taggedMessage(Call&& call) {
   const auto e = raisedBy(call);
   return e ? "[" + e->getTag().str() + "] " + e->getMessage().str() : "<nothing thrown>";
}

TEST(SxString, ConvertsToUtf16AndBackAndReplacesWhatIsMalformed) {
   EXPECT_EQ(SxString::fromUtf16(u"a\0b", 3).getNBytes(), 3) << "an explicit length keeps NULs";
   // Names are bytes: what does not decode survives to the bytes and through UTF-16.
   for (const char* name :
        {"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "caf\xE9", "x\xFFy", "\xC0\xAF", "\xE2\x82",
         "\xED\xA0\x80",
         // a high surrogate before what becomes a low one must not pair up
         "\xED\xA3\xA3\x81", "\xED\xA0\x80\xED\xB0\x80", "\xED\xA3\x9F\xED\xA3\xA3\x9F"}) {
      const SxString text(name);
      EXPECT_EQ(text.bytes(), name);
      const SxArray<SxChar16> units = text.utf16();
      EXPECT_EQ(SxString::fromUtf16(reinterpret_cast<const char16_t*>(units.elements())), text);
      EXPECT_EQ(SxString(text.str()), text) << "its own text reads back unchanged";
   }
   EXPECT_NE(SxString("a\x80"), SxString("a\x81"));
   EXPECT_EQ(SxString("x\xFFy").utf16()[1], 0xDCFF);
   EXPECT_EQ(SxString("\xC3\xA9x\xFF").ascii(), "?x?");
   EXPECT_EQ(SxString::fromAscii("a\xE9"), "a\xEF\xBF\xBD");
}

TEST(SxString, SplitsSearchesAndEditsCountingCharactersNotBytes) {
   EXPECT_EQ(SxString("a::::b").tokenize("::", true), (SxList<SxString>{"a", "", "b"}));

   const SxString s = "\xC3\xA9t\xC3\xA9 ete";
   EXPECT_EQ(s.find("t", 2), 5);
   EXPECT_EQ(s.subString(1, 2), "t\xC3\xA9");
   EXPECT_EQ(SxString(" a\tb\r\nc ").removeWhiteSpace(), "abc");

   const auto resized = [](SxString r, int n, bool keep) { return r.resize(n, keep), r; };
   EXPECT_EQ(resized("\xC3\xA9:\\x\\y", 3, true), "\xC3\xA9:\\");
   EXPECT_EQ(resized("\xC3\xA9:\\", 5, true), "\xC3\xA9:\\  ");
   EXPECT_EQ(resized("\xC3\xA9:\\", 2, false), "  ");
}

using Values = std::vector<std::optional<int64_t>>;

// The value read from each text, or nothing where the reader flags the text.
template <class T>
Values readEach(T (SxString::*read)(bool*, int) const, int base,
                std::initializer_list<const char*> texts) {
   Values values;
   for (const char* text : texts) {
      bool error = true;
      const int64_t value = (SxString(text).*read)(&error, base);
      values.push_back(error ? std::nullopt : std::optional(value));
   }
   return values;
}

TEST(SxString, NumbersAreWrittenShortestAndReadWithBlanksPlusAndTheUnsignedRangeOfTheirWidth) {
   EXPECT_EQ(SxString(50.0), "50");
   EXPECT_EQ(SxString(0.1), "0.1");
   EXPECT_EQ(SxString(1e21), "1e+21");
   const auto no = std::nullopt;
   EXPECT_EQ(readEach(&SxString::toNumber<uint8_t>, 16,
                      {"ff", " f", "+a\t", "0g", "  ", "", "-1", "1 2", "100"}),
             (Values{255, 15, 10, no, no, no, no, no, no}));
   EXPECT_EQ(readEach(&SxString::toNumber<int8_t>, 10, {"-128", "128"}), (Values{-128, no}));
   EXPECT_EQ(readEach(&SxString::toInt, 10, {"4294967295", "-2147483648", "4294967296"}),
             (Values{-1, INT32_MIN, no}));
   EXPECT_EQ(
       readEach(&SxString::toInt64, 10, {"18446744073709551615", "-5", "18446744073709551616"}),
       (Values{-1, -5, no}));
   bool error = false;
   EXPECT_EQ(SxString("12ab").toInt(&error), 12) << "the value read before the bad character";
   EXPECT_TRUE(error);
}

TEST(SxUtf, MalformedUtf8DecodesAsOneReplacementPerByte) {
   // Each text with the characters decoded from it.
   const std::pair<std::string_view, std::u32string> cases[] = {
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
   for (const auto& [text, expected] : cases) {
      std::u32string decoded;
      for (std::size_t pos = 0; pos < text.size();)
         decoded += SxUtf::decodeUtf8(text, pos);
      EXPECT_EQ(decoded, expected) << text;
      EXPECT_EQ(SxUtf::firstMalformed(text) == std::string_view::npos,
                expected.find(U'\uFFFD') == std::u32string::npos || text == "\xEF\xBF\xBD")
          << text;
   }
   // Inside and past the runs of ASCII that are checked several bytes at a time.
   const std::string ascii(31, 'x');
   EXPECT_EQ(SxUtf::sanitize(ascii + "\xFFy\xEF\xBF\xBD"), ascii + "\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(SxUtf, LoneSurrogatesAndCodePointsBeyondUnicodeAreReplacedOrKeptAsWtf8) {
   const std::u16string units = {u'a', 0xD800, u'z', 0xDE00, 0xD83D, 0xDE00, 0xDBFF};
   EXPECT_EQ(SxUtf::utf16ToUtf8(units), "a\xEF\xBF\xBDz\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD");
   const std::string wtf8 = SxUtf::utf16ToUtf8(units, Surrogates::Keep);
   EXPECT_EQ(wtf8, "a\xED\xA0\x80z\xED\xB8\x80\xF0\x9F\x98\x80\xED\xAF\xBF");
   EXPECT_EQ(SxUtf::utf8ToUtf16(wtf8, Surrogates::Keep), units) << "the round trip is exact";
   EXPECT_EQ(SxUtf::utf8ToUtf16(wtf8.substr(0, 5)), u"a\uFFFD\uFFFD\uFFFDz")
       << "without Keep an encoded surrogate is three malformed bytes";
   EXPECT_EQ(SxUtf::utf8ToUtf16("\xED\xA0\xBD\xED\xB8\x80", Surrogates::Keep),
             (std::u16string{0xD83D, 0xDE00}))
       << "an encoded pair decodes to the units of the pair";
   EXPECT_EQ(SxUtf::utf16Length(wtf8), units.size());

   std::string out;
   SxUtf::appendUtf8(out, 0x110000);
   SxUtf::appendUtf8(out, 0xDC00);
   EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
   EXPECT_EQ(SxUtf::utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
   char16_t unit[2];
   ASSERT_EQ(SxUtf::encodeUtf16(0xD800, unit), 1);
   EXPECT_EQ(unit[0], 0xFFFD);
}

TEST(SxUtf, BoundariesNeverSplitACharacter) {
   const std::string_view text = "a\xC3\xA9\xF0\x9F\x98\x80z"; // a, e-acute, emoji, z
   const std::size_t offsets[] = {0, 1, 3, 7, 8, 8};
   for (std::ptrdiff_t i = 0; i < 6; ++i)
      EXPECT_EQ(SxUtf::byteOffset(text, i), offsets[i]) << i;
   const std::size_t next[] = {1, 3, 3, 7, 7, 7, 7, 8, 8};
   const std::size_t before[] = {0, 1, 1, 3, 3, 3, 3, 7, 8};
   for (std::size_t pos = 0; pos <= text.size(); ++pos) {
      EXPECT_EQ(SxUtf::nextBoundary(text, pos), next[pos]) << pos;
      EXPECT_EQ(SxUtf::boundaryAtOrBefore(text, pos), before[pos]) << pos;
   }
   EXPECT_EQ(SxUtf::completePrefix(text.substr(0, 6)), 3u) << "three of the emoji's four bytes";
   EXPECT_EQ(SxUtf::completePrefix(text.substr(0, 2)), 1u);
   EXPECT_EQ(SxUtf::completePrefix(text), text.size());
   EXPECT_EQ(SxUtf::completePrefix("\x80\x80"), 2u) << "bytes that can never complete go on";
}

TEST(SxRegex, MatchGivesTheWholeMatchThenTheGroupsOrNothing) {
   const SxRegex regex("^\"([^\"]*)\",\"(\\d+)\"(,x)?");
   EXPECT_EQ(regex.match("\"a b\",\"42\",rest"),
             (SxList<SxString>{"\"a b\",\"42\"", "a b", "42", ""}));
   EXPECT_EQ(SxRegex("\xC3\xA9+", "i").match("x\xC3\x89\xC3\xA9y"),
             (SxList<SxString>{"\xC3\x89\xC3\xA9"}))
       << "UTF-8 aware and caseless";
   EXPECT_EQ(SxRegex("{{VODRIVE}}").match("C:{{VODRIVE}}x"), (SxList<SxString>{"{{VODRIVE}}"}));
}

TEST(SxRegex, BadPatternsAndRunawayMatchesRaiseInsteadOfHanging) {
   EXPECT_THROW(SxRegex("(unclosed"), SxException);
   EXPECT_THROW(SxRegex("a", "q"), SxException);
   EXPECT_EQ(
       messageOf([] { (void)SxRegex("(a+)+$").match(SxString(std::string(5000, 'a') + "!")); }),
       "Matching regular expression '(a+)+$' failed: match limit exceeded");
}

TEST(SxSed, ReplacesFirstOrEveryMatchWithGroupsAndEscapes) {
   EXPECT_EQ(SxSed("o", "0").subst("foo"), "f0o");
   int n = 0;
   EXPECT_EQ(SxSed("(\\w+)=(\\w+)", "\\2=\\1", "g").subst("a=1, b=2", &n), "1=a, 2=b");
   EXPECT_EQ(n, 2);
   EXPECT_EQ(SxSed("x*", "-", "g").subst("\xC3\xA9z"), "-\xC3\xA9-z-") << "empty matches advance";
}

TEST(SxJSONParser, ErrorsNameTheLineAndColumnAndNumbersMustFitADouble) {
   // Each text with where its error is.
   const std::pair<std::string, const char*> cases[] = {
       {"{\n  \"a\": 1,\n  \"b\": ]\n}", "line 3, column 8: Invalid value."},
       // The significand is long enough to slip past the reader's own range check.
       {"[1,\n " + std::string(54, '1') + "7e276]",
        "line 2, column 2: Number too big to be stored in double."},
       {"1e400", "line 1, column 1: Number too big to be stored in double."},
       // A byte that does not decode is held as a lone surrogate, which JSON cannot carry.
       {"[\"\xED\x95\x9C\", \"\xFF\"]", "line 1, column 10: Invalid encoding in string."},
       {"{\"a\":" + std::string(100000, '['),
        "line 1, column 261: Nesting deeper than 256 levels."},
   };
   SxJSONParser parser;
   for (const auto& [text, where] : cases)
      EXPECT_EQ(taggedMessage([&] { parser.readString(SxString(text), "x.json"); }),
                "[ParseError] Parse error in 'x.json' at " + std::string(where));
   EXPECT_EQ(raisedBy([&] { parser.readFile("/no/such.json"); })->getTag(), "FileIOError");

   EXPECT_NO_THROW(parser.readString("[1.7976931348623157e308, -5e-324]", "x.json"));
   EXPECT_NO_THROW(parser.readString(SxString(std::string(256, '[') + std::string(256, ']')), "x"));
}

TEST(SxSymbol, LookupsAreTypedAndRequiredMembersAreEnforced) {
   SxJSONParser parser;
   parser.readString(R"({"list": [{}, {}], "f": 1.5})", "d");
   const SxSymbol root = parser.getRootSymbol();
   EXPECT_EQ(taggedMessage([&] { (void)root.getElem("list").toList()(1).getElem("v"); }),
             "[InvalidInput] Required member 'list[1].v' missing in 'd'");
   EXPECT_EQ(taggedMessage([&] { (void)root.getElem("f").toInt(); }),
             "[InvalidOperation] f in 'd' is not an integer");
   EXPECT_THROW((void)root.getElem("missing", false).toList(), SxException);
}

TEST(SxSymbol, WrittenTextsKeepTheirEscapesAndAlwaysParse) {
   // The text as held in the tree, and what a reader gets back.
   const std::pair<const char*, const char*> cases[] = {
       {"plain", "plain"},
       {"say \\\"hi\\\"", "say \"hi\""},     // a valid escape passes through
       {"C:\\Tools", "C:\\Tools"},           // \T is no escape: the backslash is escaped
       {"bare \"quote\"", "bare \"quote\""}, // a bare quote is escaped
       {"tab\there", "tab\there"},           // a control character is escaped
       {"end\\", "end\\"},                   // a trailing backslash
       {"\\u00e9\\ud83d\\ude00", "\xC3\xA9\xF0\x9F\x98\x80"},
       {"\\ud800 lone", "\\ud800 lone"}, // a lone surrogate escape would not parse
       {"\\udc00 low", "\\udc00 low"},
       {"\\ud800\\u0041", "\\ud800A"},
   };
   SxSymbol root = SxSymbol::newTree();
   root.setType(SxSymbol::List);
   for (const auto& [stored, read] : cases)
      root.append(SxString(stored));
   EXPECT_EQ(raisedBy([&] { root.write("/no/such/dir/x.json"); })->getTag(), "IOError");

   SxJSONParser parser;
   parser.readString(root.toJSON(), "out.json");
   const SxList<SxSymbol> back = parser.getRootSymbol().toList();
   ASSERT_EQ(back.getSize(), std::ssize(cases));
   std::ptrdiff_t i = 0;
   for (const auto& [stored, read] : cases)
      EXPECT_EQ(back(i++).toString(), read) << stored;

   // A lone surrogate read from an escape is written as U+FFFD (one a byte), so what is written
   // reads back.
   SxJSONParser lone;
   lone.readString("[\"a\\udddd\"]", "lone.json");
   parser.readString(lone.getRootSymbol().toJSON(), "again.json");
   EXPECT_EQ(parser.getRootSymbol().toList().first().toString(),
             "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(SxSymbol, HandlesStayValidWhileSiblingsAreAppended) {
   // Each handle is brought up to date right before appends to its parent move the parent's
   // storage; texts too long to be held inline keep that storage from growing in place.
   const SxString filler(std::string(40, 'x'));
   SxSymbol root = SxSymbol::newTree();
   root.setType(SxSymbol::Group);
   SxSymbol list = root.append("list", SxSymbol::List);
   SxSymbol element = list.append(SxSymbol::Group);
   for (int i = 0; i < 40; ++i)
      list.append(filler);
   element.append("late", 2);
   SxSymbol first = root.append("first", SxSymbol::Group);
   for (int i = 0; i < 40; ++i)
      root.append(filler + SxString(i), i);
   first.append("late", 1);
   EXPECT_EQ(root.getElem("first").getElem("late").toInt(), 1);
   EXPECT_EQ(root.getElem("list").toList()(0).getElem("late").toInt(), 2);

   root.setType(SxSymbol::Group);
   EXPECT_EQ(taggedMessage([&] { (void)first.getElem("late"); }),
             "[InvalidOperation] #1 in '' no longer exists");
}

TEST(SxSchema, ValidationNamesTheOffendingPlace) {
   SxJSONParser schemaParser, bad;
   schemaParser.readString(R"({"properties": {"version": {"enum": [2]}}})", "s.json");
   const SxSchema schema(schemaParser.getRootSymbol());
   bad.readString(R"({"version": 1})", "bad.json");
   EXPECT_EQ(taggedMessage([&] { schema.validate(bad.getRootSymbol()); }),
             "[ValidationError] 'bad.json' does not match the schema 's.json': the value at "
             "#/version violates the keyword 'enum' at #/properties/version");
}

} // namespace
