#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sx/SxException.h>
#include <sx/SxMd5.h>

namespace {

constexpr char kEmpty[] = "d41d8cd98f00b204e9800998ecf8427e";
constexpr char kAbc[] = "900150983cd24fb0d6963f7d28e17f72";
constexpr char kAbcdef[] = "e80b5017098950fc58aad83c8c14978e";

TEST(SxMd5, KnownDigestsOfTexts) {
   const struct {
      const char* text;
      const char* digest;
   } cases[] = {
       {"", kEmpty},
       {"abc", kAbc},
       {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
        "57edf4a22be3c955ac49da2e2107b67a"},
       {"h\xC3\xA9llo", "be50e8478cf24ff3595bc7307fb91b50"}, // the UTF-8 bytes are hashed
   };
   for (const auto& c : cases)
      EXPECT_EQ(SxMd5::get(SxString(c.text)), c.digest) << c.text;
}

TEST(SxMd5, DigestsFedInPiecesCanBeReadOpenCopiedAndMoved) {
   SxMd5 md5;
   EXPECT_EQ(md5.get(), kEmpty);
   md5.update("ab", 2);
   md5.update(nullptr, 0);
   md5.update("c", 1);
   EXPECT_EQ(md5.get(), kAbc) << "reading an open digest leaves it open";
   SxMd5 copy(md5);
   md5.update("def", 3, 6);
   EXPECT_TRUE(md5.isClosed());
   EXPECT_EQ(md5.getNBytes(), 6);
   EXPECT_EQ(md5.get(), kAbcdef);
   EXPECT_EQ(copy.get(), kAbc) << "a copy runs on its own";

   SxMd5 moved(std::move(copy));
   moved.update("def", 3, 6);
   EXPECT_EQ(moved.get(), kAbcdef);
   copy = md5; // a moved-from digest is usable again once assigned
   EXPECT_EQ(copy.get(), kAbcdef);
}

TEST(SxMd5, MisuseRaisesAndLeavesTheDigestUnchanged) {
   SxMd5 md5;
   md5.update("ab", 2);
   EXPECT_THROW(md5.update("c", -1), SxException);
   EXPECT_THROW(md5.update("c", 1, 4), SxException); // 3 bytes fed, not 4
   EXPECT_FALSE(md5.isClosed());
   md5.update("c", 1, 3);
   EXPECT_THROW(md5.update("d", 1), SxException);
   EXPECT_EQ(md5.get(), kAbc);
}

TEST(SxMd5, ThreadsEachWithTheirOwnDigestAgree) {
   const std::string block(1 << 20, 'x');
   const auto digest = [&] {
      SxMd5 md5;
      for (int i = 0; i < 4; ++i)
         md5.update(block.data(), static_cast<int64_t>(block.size()));
      return md5.get();
   };
   auto first = std::async(std::launch::async, digest);
   auto second = std::async(std::launch::async, digest);
   const SxString here = digest();
   EXPECT_EQ(first.get(), here);
   EXPECT_EQ(second.get(), here);
}

} // namespace
