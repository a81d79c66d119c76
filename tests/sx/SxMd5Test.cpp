#include <gtest/gtest.h>
#include <string>
#include <sx/SxException.h>
#include <sx/SxMd5.h>
#include <thread>
#include <vector>

namespace {

TEST(SxMd5, KnownDigestsOfTexts) {
   struct Case {
      const char* text;
      const char* digest;
   };
   static constexpr Case kCases[] = {
       {"", "d41d8cd98f00b204e9800998ecf8427e"},
       {"a", "0cc175b9c0f1b6a831c399e269772661"},
       {"abc", "900150983cd24fb0d6963f7d28e17f72"},
       {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
       {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
        "57edf4a22be3c955ac49da2e2107b67a"},
       {"h\xC3\xA9llo", "be50e8478cf24ff3595bc7307fb91b50"}, // the UTF-8 bytes are hashed
   };
   for (const Case& c : kCases)
      EXPECT_EQ(SxMd5::get(SxString(c.text)), c.digest) << c.text;
}

TEST(SxMd5, PiecesAndAClosingTotalGiveTheDigestOfTheWholeMessage) {
   SxMd5 md5;
   EXPECT_EQ(md5.get(), "d41d8cd98f00b204e9800998ecf8427e");
   md5.update("ab", 2);
   md5.update(nullptr, 0);
   md5.update("cdef", 4, 6);
   EXPECT_TRUE(md5.isClosed());
   EXPECT_EQ(md5.getNBytes(), 6);
   EXPECT_EQ(md5.get(), "e80b5017098950fc58aad83c8c14978e");
}

TEST(SxMd5, AnOpenDigestCanBeReadWithoutBeingDisturbed) {
   SxMd5 md5;
   md5.update("abc", 3);
   EXPECT_EQ(md5.get(), "900150983cd24fb0d6963f7d28e17f72");
   EXPECT_FALSE(md5.isClosed());
   md5.update("def", 3);
   EXPECT_EQ(md5.get(), "e80b5017098950fc58aad83c8c14978e");
}

TEST(SxMd5, CopiesAreIndependentWhetherOpenOrClosed) {
   SxMd5 open;
   open.update("abc", 3);
   SxMd5 copy(open);
   copy.update("def", 3, 6);
   EXPECT_EQ(open.get(), "900150983cd24fb0d6963f7d28e17f72");
   EXPECT_EQ(copy.get(), "e80b5017098950fc58aad83c8c14978e");

   SxMd5 assigned;
   assigned = copy;
   EXPECT_TRUE(assigned.isClosed());
   EXPECT_EQ(assigned.get(), copy.get());

   SxMd5 moved(std::move(open));
   EXPECT_EQ(moved.get(), "900150983cd24fb0d6963f7d28e17f72");
   open = SxMd5(); // a moved-from digest is usable again once assigned
   open.update("a", 1, 1);
   EXPECT_EQ(open.get(), "0cc175b9c0f1b6a831c399e269772661");
}

TEST(SxMd5, MisuseRaisesAndLeavesTheDigestUnchanged) {
   SxMd5 md5;
   md5.update("ab", 2);
   EXPECT_THROW(md5.update("c", -1), SxException);
   EXPECT_THROW(md5.update("c", 1, 4), SxException); // 3 bytes fed, not 4
   EXPECT_FALSE(md5.isClosed());
   md5.update("c", 1, 3);
   EXPECT_THROW(md5.update("d", 1), SxException);
   EXPECT_EQ(md5.get(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(SxMd5, ThreadsEachWithTheirOwnDigestAgree) {
   const std::string block(1 << 20, 'x');
   std::vector<SxString> digests(4);
   std::vector<std::thread> threads;
   for (auto& digest : digests)
      threads.emplace_back([&] {
         SxMd5 md5;
         for (int i = 0; i < 4; ++i)
            md5.update(block.data(), static_cast<int64_t>(block.size()));
         digest = md5.get();
      });
   for (auto& t : threads)
      t.join();
   for (const auto& digest : digests)
      EXPECT_EQ(digest, digests[0]);
}

} // namespace
