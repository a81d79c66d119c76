#include <gtest/gtest.h>
#include <set>
#include <sx/SxLog.h>
#include <sx/SxUUIDv4.h>
#include <sx/SxUniqueList.h>

namespace {

TEST(SxUUIDv4, VersionAndVariantBitsAreSetAndTheRestIsRandom) {
   std::set<std::string> seen;
   for (int i = 0; i < 200; ++i) {
      const SxUUIDv4 uuid;
      EXPECT_EQ(uuid.getBytes()[6] >> 4, 4);
      EXPECT_EQ(uuid.getBytes()[8] >> 6, 2);
      const std::string text = uuid.getStr().str();
      ASSERT_EQ(text.size(), 36u);
      EXPECT_EQ(text[14], '4');
      seen.insert(text);
   }
   EXPECT_EQ(seen.size(), 200u);
}

TEST(SxUniqueList, KeepsTheFirstOfEqualElementsInArrivalOrder) {
   SxUniqueList<SxString> list;
   EXPECT_TRUE(list.append("b"));
   EXPECT_TRUE(list.append("a"));
   EXPECT_FALSE(list.append("b"));
   list << "c"
        << "a";
   EXPECT_EQ(list.getSize(), 3);
   EXPECT_EQ(list(0), "b");
   EXPECT_EQ(list(2), "c");
   EXPECT_TRUE(list.contains("a"));
   list.removeAll();
   EXPECT_TRUE(list.isEmpty());
   EXPECT_TRUE(list.append("b"));
}

TEST(SxLog, OnlyEnabledComponentsWrite) {
   EXPECT_FALSE(SxLog::isEnabled("sxtest"));
   ::testing::internal::CaptureStderr();
   SxLog::print("sxtest", "dropped");
   SxLog::enable("sxtest");
   SxLog::enable("sxtest");
   SxLog::print("sxtest", "kept");
   SxLog::disable("sxtest");
   SxLog::print("sxtest", "dropped again");
   EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[sxtest] kept\n");
}

} // namespace
