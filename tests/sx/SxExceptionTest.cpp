#include "common/Wine.h"

#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <sx/SxException.h>

namespace {

TEST(SxException, WrappingKeepsTheWholeChainOutermostFirst) {
   const SxException inner("disk gone", "src/a");
   const SxException middle(inner, "Cannot read key", "src/b");
   const SxException outer(middle, "Failed to read file x", "src/c");

   EXPECT_EQ(outer.getMessages(),
             (SxList<SxString>{"Failed to read file x", "Cannot read key", "disk gone"}));
   EXPECT_EQ(outer.toString(0, "\n"), "Failed to read file x\nCannot read key\ndisk gone");
   EXPECT_EQ(
       outer.toString(1, " | "),
       "Failed to read file x (src/c:12) | Cannot read key (src/b:11) | disk gone (src/a:10)");
   EXPECT_STREQ(outer.what(), "Failed to read file x\nCannot read key\ndisk gone");
   ASSERT_NE(outer.getCause(), nullptr);
   EXPECT_EQ(outer.getCause()->getCause()->getSource(), "src/a");
   EXPECT_EQ(inner.getCause(), nullptr);
}

TEST(SxException, TaggedFormCarriesItsTagAndIsAStdException) {
   const int line = __LINE__ + 2;
   try {
      throw SxException("FileWriteError", "Can't write to file 'x'", "src/sx/SxFileIO");
   } catch (const std::exception& e) {
      const auto& sx = dynamic_cast<const SxException&>(e);
      EXPECT_EQ(sx.getTag(), "FileWriteError");
      EXPECT_EQ(sx.getLine(), line);
      EXPECT_EQ(sx.toString(1), "[FileWriteError] Can't write to file 'x' (src/sx/SxFileIO:" +
                                    SxString(line) + ")");
   }
}

TEST(SxException, TagDescriptionsLiveAsLongAsTheirEntry) {
   {
      const SxExceptionEntry entry("TestTag", "A tag used by this test");
      EXPECT_EQ(SxExceptionEntry::getDescription("TestTag"), "A tag used by this test");
   }
   EXPECT_EQ(SxExceptionEntry::getDescription("TestTag"), "");
}

TEST(SxError, TextsOfTheCommonStatusesUseTheSystemWording) {
   EXPECT_FALSE(sxstrerror(0x7FFF1234).isEmpty());
   EXPECT_FALSE(sxstrerror(5).contains("\n"));
   EXPECT_FALSE(sxstrerror(5).contains("\r"));
   EXPECT_NE(sxstrerror(2), sxstrerror(5));
   VO_SKIP_UNDER_WINE("Wine's system message texts are worded differently from Windows'");
   EXPECT_EQ(sxstrerror(2), "The system cannot find the file specified.");
   EXPECT_EQ(sxstrerror(5), "Access is denied.");
   EXPECT_EQ(sxstrerror(87), "The parameter is incorrect.");
}

} // namespace
