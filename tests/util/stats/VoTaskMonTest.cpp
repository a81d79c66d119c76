#include <gtest/gtest.h>
#include <thread>
#include <voutil/VoTaskMon.h>

namespace {

// Counts how often the body sees a stop request at its first poll.
class PollingTask : public VoTaskMon {
public:
   bool sawStop = false;

protected:
   void main() override { sawStop = stopRequested(); }
};

TEST(VoTaskMon, CountersAndTheEstimate) {
   PollingTask mon;
   EXPECT_EQ(mon.getNCurrent(), 0u);
   EXPECT_EQ(mon.getNTotal(), 0u);
   EXPECT_EQ(mon.getSpeed(), 0u);
   EXPECT_EQ(mon.getETA(), 0u);
   EXPECT_FALSE(mon.stopRequested());

   mon.setNTotal(1000);
   mon.setNCurrent(400);
   EXPECT_EQ(mon.getETA(), 0u) << "no speed, no estimate";
   mon.setSpeed(7);
   EXPECT_EQ(mon.getETA(), 85u);
   mon.addNCurrent(700);
   EXPECT_EQ(mon.getNCurrent(), 1100u);
   EXPECT_EQ(mon.getETA(), (1000ULL - 1100ULL) / 7) << "not clamped";
}

TEST(VoTaskMon, ConcurrentAddsAreNotLost) {
   PollingTask mon;
   auto add = [&] {
      for (int i = 0; i < 1000; ++i)
         mon.addNCurrent(5);
   };
   std::thread a(add), b(add);
   a.join();
   b.join();
   EXPECT_EQ(mon.getNCurrent(), 10000u);
}

TEST(VoTaskMon, AStopBeforeTheStartIsSeenAtTheFirstPoll) {
   PollingTask task;
   task.stop();
   task.stop();
   EXPECT_TRUE(task.stopRequested());
   task.start();
   task.wait();
   EXPECT_TRUE(task.sawStop);
}

} // namespace
