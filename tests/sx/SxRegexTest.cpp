#include <common/Messages.h>
#include <gtest/gtest.h>
#include <sx/SxException.h>
#include <sx/SxRegex.h>

namespace {

TEST(SxRegex, MatchGivesTheWholeMatchThenTheGroupsOrNothing) {
   const SxRegex regex("^\"([^\"]*)\",\"(\\d+)\"(,x)?");
   EXPECT_EQ(regex.match("\"a b\",\"42\",rest"),
             (SxList<SxString>{"\"a b\",\"42\"", "a b", "42", ""}));
   EXPECT_TRUE(regex.match("no match").isEmpty());
   EXPECT_EQ(SxRegex("\xC3\xA9+", "i").match("x\xC3\x89\xC3\xA9y"),
             (SxList<SxString>{"\xC3\x89\xC3\xA9"}))
       << "UTF-8 aware and caseless";
   EXPECT_EQ(SxRegex("{{VODRIVE}}").match("C:{{VODRIVE}}x"), (SxList<SxString>{"{{VODRIVE}}"}));
}

TEST(SxRegex, BadPatternsAndRunawayMatchesRaiseInsteadOfHanging) {
   EXPECT_THROW(SxRegex("(unclosed"), SxException);
   EXPECT_THROW(SxRegex("a", "q"), SxException);
   EXPECT_EQ(vo::test::messageOf(
                 [] { (void)SxRegex("(a+)+$").match(SxString(std::string(5000, 'a') + "!")); }),
             "Matching regular expression '(a+)+$' failed: match limit exceeded");
}

TEST(SxSed, ReplacesFirstOrEveryMatchWithGroupsAndEscapes) {
   EXPECT_EQ(SxSed("(\\\\|/)+", "/", "g").subst("a//b\\\\c/\\/d"), "a/b/c/d");
   EXPECT_EQ(SxSed("(\\\\|/)+", "\\\\", "g").subst("//srv//share\\x"), "\\srv\\share\\x");
   EXPECT_EQ(SxSed("(\\\\|/)+", "/", "g").subst("plain"), "plain");
   EXPECT_EQ(SxSed("(\\\\|/)+", "/", "g").subst(""), "");
   EXPECT_EQ(SxSed("o", "0").subst("foo"), "f0o");
   int n = 0;
   EXPECT_EQ(SxSed("(\\w+)=(\\w+)", "\\2=\\1", "g").subst("a=1, b=2", &n), "1=a, 2=b");
   EXPECT_EQ(n, 2);
   EXPECT_EQ(SxSed("E:", "{{VODRIVE}}", "g").subst("E:\\x;E:\\y"), "{{VODRIVE}}\\x;{{VODRIVE}}\\y");
   EXPECT_EQ(SxSed("x*", "-", "g").subst("ab"), "-a-b-") << "empty matches advance";
   EXPECT_EQ(SxSed("b", "\\n\\\\").subst("abc"), "an\\c") << "an escaped letter is itself";
}

} // namespace
