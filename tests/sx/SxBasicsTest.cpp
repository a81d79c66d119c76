#include <algorithm>
#include <atomic>
#include <common/Wine.h>
#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <stdexcept>
#include <sx/SxArray.h>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxLog.h>
#include <sx/SxMd5.h>
#include <sx/SxThread.h>
#include <sx/SxTimer.h>
#include <sx/SxUniqueList.h>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

enum class Wide { Last = 100 }; // beyond the first table, not beyond twice its size
enum class AskedFirst { X = 0, Y = 5 };

} // namespace

template <>
SxTimerNames<Wide>::SxTimerNames() {
   regTimer(Wide::Last, "wide last");
}
template <>
SxTimerNames<AskedFirst>::SxTimerNames() {
   regTimer(AskedFirst::X, "asked first x");
   regTimer(AskedFirst::Y, "asked first y");
}

namespace {

static_assert(std::is_base_of_v<std::exception, SxException>);

TEST(SxException, ChainsKeepTheirMessagesTagsAndSourceLinesOutermostFirst) {
   const int line = __LINE__ + 1;
   const SxException inner("FileWriteError", "disk gone", "src/a");
   const SxException middle(inner, "Cannot read key", "src/b");
   const SxException outer(middle, "Failed to read file x", "src/c");

   EXPECT_STREQ(outer.what(), "Failed to read file x\nCannot read key\ndisk gone");
   EXPECT_EQ(outer.toString(1, " | "),
             "Failed to read file x (src/c:" + SxString(line + 2) +
                 ") | Cannot read key (src/b:" + SxString(line + 1) +
                 ") | [FileWriteError] disk gone (src/a:" + SxString(line) + ")");
}

TEST(SxException, TagDescriptionsLiveAsLongAsTheirEntry) {
   {
      const SxExceptionEntry entry("TestTag", "A tag used by this test");
      EXPECT_EQ(SxExceptionEntry::getDescription("TestTag"), "A tag used by this test");
   }
   EXPECT_EQ(SxExceptionEntry::getDescription("TestTag"), "");
}

TEST(SxError, StatusTextsAreSingleLinesInTheSystemWording) {
   EXPECT_FALSE(sxstrerror(0x7FFF1234).isEmpty());
   EXPECT_FALSE(sxstrerror(5).contains("\n") || sxstrerror(5).contains("\r"));
   VO_SKIP_UNDER_WINE("Wine's system message texts are worded differently from Windows'");
   EXPECT_EQ(sxstrerror(5), "Access is denied.");
}

TEST(SxUniqueList, KeepsTheFirstOfEqualElementsInArrivalOrder) {
   SxUniqueList<SxString> list;
   EXPECT_TRUE(list.append("b"));
   EXPECT_FALSE(list.append("b"));
   list << "a"
        << "c"
        << "a";
   EXPECT_EQ(std::vector<SxString>(list.begin(), list.end()),
             (std::vector<SxString>{"b", "a", "c"}));
   list.removeAll();
   EXPECT_TRUE(list.append("b")) << "removing forgets what was seen";
}

// Growing by appends moves the elements from small blocks to large ones, which on Linux are
// aligned to the huge-page size so that the system can back them with huge pages.
TEST(SxArray, LargeArraysKeepTheirElementsAsTheyGrow) {
   constexpr int kCount = 3 << 20;
   SxArray<int> values;
   for (int i = 0; i < kCount; ++i)
      values.append(i);
   std::vector<int> expected(kCount);
   std::iota(expected.begin(), expected.end(), 0);
   EXPECT_TRUE(std::equal(values.begin(), values.end(), expected.begin(), expected.end()));
#ifndef _WIN32
   EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values.elements()) % kSxLargeBlockBytes, 0u);
#endif

   // Only resizeForOverwrite leaves new elements unset: memory used before must not show.
   for (const std::ptrdiff_t size : {std::ptrdiff_t{64}, std::ptrdiff_t{8} << 20}) {
      for (int round = 0; round < 2; ++round) {
         SxArray<char> dirty;
         dirty.resizeForOverwrite(size);
         std::fill(dirty.begin(), dirty.end(), 'x');
      }
      SxArray<char> made(size), grown;
      grown.resize(size);
      EXPECT_EQ(std::count(made.begin(), made.end(), '\0'), size);
      EXPECT_EQ(std::count(grown.begin(), grown.end(), '\0'), size);
   }
}

TEST(SxLog, OnlyEnabledComponentsWrite) {
   ::testing::internal::CaptureStderr();
   SxLog::print("sxtest", "dropped");
   SxLog::enable("sxtest");
   SxLog::enable("sxtest");
   SxLog::print("sxtest", "kept");
   SxLog::disable("sxtest");
   SxLog::print("sxtest", "dropped again");
   EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[sxtest] kept\n");
}

struct Worker : SxSystemThread {
   bool fails = false;
   int sleepMs = 0;
   std::atomic<int> runs{0};
   void main() override {
      ++runs;
      std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
      if (fails)
         throw std::runtime_error("worker failed");
   }
};

TEST(SxSystemThread, RunsMainOnceAndHandsItsExceptionToWaitOnce) {
   Worker ok;
   ok.wait(); // never started: nothing to wait for
   ok.start(SxSystemThread::High);
   ok.wait();
   EXPECT_EQ(ok.runs, 1);
   EXPECT_EQ(ok.getPriority(), SxSystemThread::High);

   Worker failing;
   failing.fails = true;
   failing.start();
   EXPECT_THROW(failing.wait(), std::runtime_error);
   EXPECT_NO_THROW(failing.wait());

   // Its thread would go on using a destroyed object: the process ends instead.
   EXPECT_EXIT(
       {
          Worker running;
          running.sleepMs = 2000;
          running.start();
          while (running.runs == 0) // destroyed inside main, not before main is called
             std::this_thread::yield();
       },
       ::testing::ExitedWithCode(1), "Abnormal program stop in file src/sx/SxThread at line");
}

TEST(SxTimer, EnumerationsGetDisjointBlocksEvenWhenTheStartIdIsAskedFirst) {
   SxTimer& table = SxTimer::getGlobalTimer();
   const int start = SxTimer::getStartId<AskedFirst>();
   EXPECT_EQ(SxTimer::getTimerId(AskedFirst::Y), start + 5);
   EXPECT_EQ(table.getName(start + 5), "asked first y");
   EXPECT_EQ(SxTimer::registerEnum(typeid(AskedFirst).name()), start)
       << "a second module registering the same enumeration gets the same block";

   const int before = table.getSize();
   const int wide = SxTimer::getTimerId(Wide::Last);
   EXPECT_GT(SxTimer::getStartId<Wide>(), start + 5) << "registered later, after the block";
   EXPECT_EQ(table.getSize(), std::max(wide + 1, 2 * before));
   EXPECT_EQ(table.getName(wide), "wide last");
}

TEST(SxTimer, AnIdRunsUntilEveryStartHasItsStop) {
   // Phases started directly on the table may overlap, for instance on two threads at once.
   SxTimer table(1, false);
   table.start(0);
   std::this_thread::sleep_for(std::chrono::milliseconds(20));
   table.start(0); // joins the running interval instead of restarting it
   table.stop(0);
   EXPECT_FALSE(table.isIdle(0));
   table.stop(0);
   table.stop(0); // stopping an idle id does nothing
   EXPECT_TRUE(table.isIdle(0));
   EXPECT_EQ(table.getCount(0), 1);
   EXPECT_GE(table.getTotal(0), 0.02);
}

TEST(SxTimer, OnlyTheOutermostEntryOfAPhaseIsTimed) {
   SxTimer& table = SxTimer::getGlobalTimer();
   const int id = SxTimer::getTimerId(AskedFirst::X);
   const int64_t before = table.getCount(id);
   {
      SxTakeTime outer(id);
      { SxTakeTime nested(id); }
      std::thread([id] { SxTakeTime other(id); }).join();
      EXPECT_FALSE(table.isIdle(id));
   }
   EXPECT_TRUE(table.isIdle(id)) << "leaving the outermost scope stops the timer";
   EXPECT_EQ(table.getCount(id), before + 1);
}

constexpr char kAbc[] = "900150983cd24fb0d6963f7d28e17f72";
constexpr char kAbcdef[] = "e80b5017098950fc58aad83c8c14978e";

TEST(SxMd5, DigestsFedInPiecesCanBeReadOpenCopiedAndMoved) {
   SxMd5 md5;
   EXPECT_EQ(md5.get(), SxMd5::get(""));
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

} // namespace
