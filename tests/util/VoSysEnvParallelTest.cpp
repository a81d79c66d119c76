#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>
#include <voutil/VoSysEnv.h>

#ifndef _WIN32
#include <voplatform/TestSeams.h>
#endif

namespace {

using Range = std::pair<uint64_t, uint64_t>;
using Ranges = std::vector<Range>;

// The ranges parallelFor hands out, the workers' sorted (they begin in any order), then the
// calling thread's in the order it made them; and how many the calling thread made.
struct Calls {
   Ranges ranges;
   std::size_t onCaller = 0;
};

Calls callsOf(uint64_t n, bool parallel) {
   std::mutex mutex;
   Ranges workers, caller;
   const auto callerId = std::this_thread::get_id();
   VoSysEnv::parallelFor(
       n,
       [&](uint64_t begin, uint64_t end) {
          std::lock_guard<std::mutex> lock(mutex);
          (std::this_thread::get_id() == callerId ? caller : workers).push_back({begin, end});
       },
       parallel);
   std::sort(workers.begin(), workers.end());
   workers.insert(workers.end(), caller.begin(), caller.end());
   return {workers, caller.size()};
}

// The ranges follow each other from 0 to n, and the caller's rest ends the range.
void expectCover(const Calls& calls, uint64_t n, bool parallel) {
   uint64_t next = 0;
   for (const Range& r : calls.ranges) {
      ASSERT_EQ(r.first, next) << "gap or overlap, n = " << n;
      ASSERT_LE(r.first, r.second);
      next = r.second;
   }
   ASSERT_EQ(next, n);
   if (n > 0) {
      EXPECT_EQ(calls.onCaller, parallel ? 1u : calls.ranges.size()) << "n = " << n;
   }
}

TEST(VoSysEnvParallel, TheRangeIsCoveredOnceWithTheRestOnTheCaller) {
   for (const uint64_t n : {0u, 1u, 3u, 8u, 10u, 4999u})
      for (const bool parallel : {false, true})
         expectCover(callsOf(n, parallel), n, parallel);
}

TEST(VoSysEnvParallel, AnIdleSliceHasTheEmptyRange) {
   const VoForSlice idle;
   EXPECT_EQ(Range(idle.begin, idle.end), Range(0, 0));
}

#ifndef _WIN32
// The processor count comes from the platform layer, which a test can set.
class ProcessorCount : public ::testing::Test {
protected:
   void TearDown() override { voplatform::setProcessorCount(0); }
};

TEST_F(ProcessorCount, SlicesFollowTheProcessorCount) {
   const struct {
      DWORD processors;
      uint64_t n;
      Ranges expected;
   } kCases[] = {
       {4, 10, Ranges{{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 10}}},
       {4, 8, Ranges{{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 8}}},
       {8, 3, Ranges{{0, 1}, {1, 2}, {2, 3}, {3, 3}}},
       {1, 5, Ranges{{0, 2}, {2, 4}, {4, 5}}},
       {1, 1, Ranges{{0, 1}, {1, 1}}},
       {8, 10, Ranges{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 10}}},
       {1, 0, Ranges{}},
   };
   for (const auto& c : kCases) {
      voplatform::setProcessorCount(c.processors);
      for (const bool parallel : {false, true}) {
         const Calls calls = callsOf(c.n, parallel);
         EXPECT_EQ(calls.ranges, c.expected)
             << c.processors << " processors, n = " << c.n << (parallel ? ", parallel" : "");
         expectCover(calls, c.n, parallel);
      }
   }
}

#endif

} // namespace
