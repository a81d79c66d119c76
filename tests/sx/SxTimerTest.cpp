#include <gtest/gtest.h>
#include <sx/SxTimer.h>
#include <thread>

namespace {

enum class Wide { Last = 200 };
enum class Small { A = 0, B = 1 };

} // namespace

template <>
SxTimerNames<Wide>::SxTimerNames() {
   regTimer(Wide::Last, "wide last");
}
template <>
SxTimerNames<Small>::SxTimerNames() {
   regTimer(Small::A, "small a");
   regTimer(Small::B, "small b");
}

namespace {

TEST(SxTimer, EnumerationsGetDisjointBlocksAndTheTableGrows) {
   SxTimer& table = SxTimer::getGlobalTimer();
   const int small = SxTimer::getTimerId(Small::B);
   EXPECT_EQ(SxTimer::getStartId<Small>() + 1, small);
   EXPECT_EQ(table.getName(small), "small b");

   const int before = table.getSize();
   const int wide = SxTimer::getTimerId(Wide::Last);
   EXPECT_GT(SxTimer::getStartId<Wide>(), small);
   EXPECT_EQ(table.getSize(), std::max(wide + 1, 2 * before));
   EXPECT_EQ(table.getName(wide), "wide last");
   EXPECT_EQ(SxTimer::registerEnum(typeid(Small).name()), SxTimer::getStartId<Small>())
       << "a second module registering the same enumeration gets the same block";
}

TEST(SxTimer, OnlyTheOutermostEntryOfAPhaseIsTimed) {
   SxTimer& table = SxTimer::getGlobalTimer();
   const int id = SxTimer::getTimerId(Small::A);
   const int64_t before = table.getCount(id);
   try {
      SxTakeTime outer(id);
      EXPECT_FALSE(table.isIdle(id));
      { SxTakeTime nested(id); }
      std::thread([id] { SxTakeTime other(id); }).join();
      EXPECT_FALSE(table.isIdle(id));
      throw 1;
   } catch (int) {
   }
   EXPECT_TRUE(table.isIdle(id)) << "leaving by exception stops the timer";
   EXPECT_EQ(table.getCount(id), before + 1);
   EXPECT_TRUE(table.printout().contains("small a : "));
}

} // namespace
