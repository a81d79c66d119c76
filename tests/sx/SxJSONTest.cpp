#include <common/Messages.h>
#include <common/TempDir.h>
#include <gtest/gtest.h>
#include <sx/SxJSONParser.h>
#include <sx/SxSchema.h>

namespace {

using SxParserKit::SxSymbol;
using vo::test::messageOf;
using vo::test::raisedBy;

TEST(SxJSONParser, ErrorsNameTheLineAndColumnAndNumbersMustFitADouble) {
   const struct {
      std::string text;
      const char* where;
   } cases[] = {
       {"{\n  \"a\": 1,\n  \"b\": ]\n}", "line 3, column 8: Invalid value."},
       // The significand is long enough to slip past the reader's own range check.
       {"[1,\n " + std::string(54, '1') + "7e276]",
        "line 2, column 2: Number too big to be stored in double."},
       {"1e400", "line 1, column 1: Number too big to be stored in double."},
   };
   SxJSONParser parser;
   for (const auto& c : cases)
      EXPECT_EQ(messageOf([&] { parser.readString(SxString(c.text), "x.json"); }),
                "Parse error in 'x.json' at " + std::string(c.where));
   EXPECT_EQ(raisedBy([&] { parser.readString("]", "x.json"); })->getTag(), "ParseError");
   EXPECT_EQ(raisedBy([&] { parser.readFile("/no/such.json"); })->getTag(), "FileIOError");

   EXPECT_NO_THROW(parser.readString("[1.7976931348623157e308, -5e-324]", "x.json"));
}

TEST(SxSymbol, LookupsAreTypedAndRequiredMembersAreEnforced) {
   SxJSONParser parser;
   parser.readString(R"({"version": 2, "list": [{}, {}], "f": 1.5})", "d");
   const SxSymbol root = parser.getRootSymbol();
   EXPECT_EQ(root.getElem("version").toInt(), 2);
   EXPECT_FALSE(root.getElem("missing", false).isValid());
   const SxException missing =
       raisedBy([&] { (void)root.getElem("list").toList()(1).getElem("v"); }).value();
   EXPECT_EQ(missing.getTag(), "InvalidInput");
   EXPECT_EQ(missing.getMessage(), "Required member 'list[1].v' missing in 'd'");
   const SxException notInt = raisedBy([&] { (void)root.getElem("f").toInt(); }).value();
   EXPECT_EQ(notInt.getTag(), "InvalidOperation");
   EXPECT_EQ(notInt.getMessage(), "f in 'd' is not an integer");
   EXPECT_THROW((void)root.getElem("missing", false).toList(), SxException);
}

TEST(SxSymbol, WrittenTextsKeepTheirEscapesAndAlwaysParse) {
   struct Case {
      const char* stored; // the text as held in the tree
      const char* read;   // what a reader gets back
   } cases[] = {
       {"plain", "plain"},
       {"E:\\\\Tools", "E:\\Tools"},         // a valid escape passes through
       {"say \\\"hi\\\"", "say \"hi\""},     // so does an escaped quote
       {"C:\\Tools", "C:\\Tools"},           // \T is no escape: the backslash is escaped
       {"bare \"quote\"", "bare \"quote\""}, // a bare quote is escaped
       {"tab\there", "tab\there"},           // a control character is escaped
       {"end\\", "end\\"},                   // a trailing backslash
       {"\\u00e9\\ud83d\\ude00", "\xC3\xA9\xF0\x9F\x98\x80"},
       {"\\ud800 lone", "\\ud800 lone"}, // a lone surrogate escape would not parse
       {"\\udc00 low", "\\udc00 low"},
       {"\\ud800\\u0041", "\\ud800A"},
   };
   vo::test::TempDir dir;
   SxSymbol root = SxSymbol::newTree();
   root.setType(SxSymbol::List);
   for (const Case& c : cases)
      root.append(SxString(c.stored));
   const SxString file = dir.file("out.json").c_str();
   root.write(file);
   EXPECT_EQ(raisedBy([&] { root.write(dir.file("no/dir/x.json").c_str()); })->getTag(), "IOError");

   SxJSONParser parser;
   parser.readFile(file);
   const SxList<SxSymbol> back = parser.getRootSymbol().toList();
   ASSERT_EQ(back.getSize(), static_cast<std::ptrdiff_t>(std::size(cases)));
   for (std::size_t i = 0; i < std::size(cases); ++i)
      EXPECT_EQ(back(static_cast<std::ptrdiff_t>(i)).toString(), cases[i].read) << cases[i].stored;
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
   const SxException gone = raisedBy([&] { (void)first.getElem("late"); }).value();
   EXPECT_EQ(gone.getTag(), "InvalidOperation");
   EXPECT_EQ(gone.getMessage(), "first in '' no longer exists");
}

TEST(SxSchema, ValidationNamesTheOffendingPlace) {
   SxJSONParser schemaParser, good, bad;
   schemaParser.readString(R"({"type": "object", "required": ["version"],
      "properties": {"version": {"type": "integer", "enum": [2]}}})",
                           "s.json");
   const SxSchema schema(schemaParser.getRootSymbol());
   good.readString(R"({"version": 2})", "good.json");
   bad.readString(R"({"version": 1})", "bad.json");
   EXPECT_NO_THROW(schema.validate(good.getRootSymbol()));
   const SxException e = raisedBy([&] { schema.validate(bad.getRootSymbol()); }).value();
   EXPECT_EQ(e.getTag(), "ValidationError");
   EXPECT_EQ(e.getMessage(), "'bad.json' does not match the schema 's.json': the value at "
                             "#/version violates the keyword 'enum' at #/properties/version");
}

} // namespace
