#include <gtest/gtest.h>
#include <sx/SxTimer.h>
#include <thread>

namespace {

enum class Wide { Last = 200 };
enum class Small { A = 0, B = 1 };
enum class AskedFirst { X = 0, Y = 5 };
enum class Later { Z = 0 };

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

template <>
SxTimerNames<AskedFirst>::SxTimerNames() {
   regTimer(AskedFirst::X, "asked first x");
   regTimer(AskedFirst::Y, "asked first y");
}
template <>
SxTimerNames<Later>::SxTimerNames() {
   regTimer(Later::Z, "later z");
}

namespace {

TEST(SxTimer, AskingForTheStartIdFirstStillReservesTheWholeBlock) {
   const int start = SxTimer::getStartId<AskedFirst>();
   EXPECT_GT(SxTimer::getTimerId(Later::Z), start + 5);
   EXPECT_EQ(SxTimer::getTimerId(AskedFirst::Y), start + 5);
   EXPECT_EQ(SxTimer::getGlobalTimer().getName(start + 5), "asked first y");
}

TEST(SxTimer, AnIdRunsUntilEveryStartHasItsStop) {
   // Phases started directly on the table may overlap, for instance on two threads at once.
   SxTimer table(1, false);
   table.start(0);
   table.start(0);
   table.stop(0);
   EXPECT_FALSE(table.isIdle(0));
   table.stop(0);
   EXPECT_TRUE(table.isIdle(0));
   EXPECT_EQ(table.getCount(0), 1);
   table.stop(0);
   EXPECT_EQ(table.getCount(0), 1) << "stopping an idle id does nothing";
}

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
