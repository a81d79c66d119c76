#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sx/SxThread.h>

namespace {

class Worker : public SxSystemThread {
public:
   explicit Worker(bool fail) : fail_(fail) {}
   std::atomic<int> runs{0};

protected:
   void main() override {
      ++runs;
      if (fail_)
         throw std::runtime_error("worker failed");
   }

private:
   bool fail_;
};

TEST(SxSystemThread, RunsMainOnceAndHandsItsExceptionToWaitOnce) {
   Worker ok(false);
   ok.wait(); // never started: nothing to wait for
   ok.start(SxSystemThread::High);
   ok.wait();
   EXPECT_EQ(ok.runs, 1);
   EXPECT_EQ(ok.getPriority(), SxSystemThread::High);

   Worker failing(true);
   failing.start();
   EXPECT_THROW(failing.wait(), std::runtime_error);
   EXPECT_NO_THROW(failing.wait());
}

} // namespace
