#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <thread>
#include <tuple>
#include <vector>
#include <voutil/VoSysEnv.h>

#ifndef _WIN32
#include <voplatform/TestSeams.h>
#endif

namespace {

using Range = std::pair<uint64_t, uint64_t>;

struct Call {
   Range range;
   bool onCaller;
};

// The calls parallelFor makes, in the order they began.
std::vector<Call> callsOf(uint64_t n, bool parallel) {
   std::mutex mutex;
   std::vector<Call> calls;
   const auto caller = std::this_thread::get_id();
   VoSysEnv::parallelFor(
       n,
       [&](uint64_t begin, uint64_t end) {
          std::lock_guard<std::mutex> lock(mutex);
          calls.push_back({{begin, end}, std::this_thread::get_id() == caller});
       },
       parallel);
   return calls;
}

// The ranges cover 0 to n once each, in any order.
void expectCover(std::vector<Call> calls, uint64_t n) {
   std::sort(calls.begin(), calls.end(),
             [](const Call& a, const Call& b) { return a.range < b.range; });
   uint64_t next = 0;
   for (const Call& c : calls) {
      ASSERT_EQ(c.range.first, next) << "gap or overlap before " << c.range.first;
      ASSERT_LE(c.range.first, c.range.second);
      next = c.range.second;
   }
   ASSERT_EQ(next, n);
}

TEST(VoSysEnvParallel, SequentialCallsRunInOrderOnTheCaller) {
   EXPECT_TRUE(callsOf(0, false).empty());
   EXPECT_TRUE(callsOf(0, true).empty());
   const std::vector<Call> calls = callsOf(1, false);
   ASSERT_EQ(calls.size(), 2u);
   EXPECT_EQ(calls[0].range, Range(0, 1));
   EXPECT_EQ(calls[1].range, Range(1, 1)) << "the empty rest slice is called too";
   for (const uint64_t n : {3u, 8u, 10u, 1000u}) {
      const std::vector<Call> sequential = callsOf(n, false);
      expectCover(sequential, n);
      for (std::size_t i = 0; i < sequential.size(); ++i) {
         EXPECT_TRUE(sequential[i].onCaller);
         if (i > 0) {
            EXPECT_EQ(sequential[i].range.first, sequential[i - 1].range.second);
         }
      }
   }
}

TEST(VoSysEnvParallel, WorkersTakeTheSlicesAndTheCallerTheRest) {
   for (const uint64_t n : {1u, 3u, 8u, 10u, 999u}) {
      std::vector<Call> calls = callsOf(n, true);
      expectCover(calls, n);
      const auto rest =
          std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return c.onCaller; });
      ASSERT_NE(rest, calls.end());
      EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const Call& c) { return c.onCaller; }),
                1);
      EXPECT_EQ(rest->range.second, n) << "the rest is the end of the range";
      const std::vector<Call> sequential = callsOf(n, false);
      EXPECT_EQ(calls.size(), sequential.size());
   }
}

TEST(VoSysEnvParallel, RandomRangesAreCoveredOnce) {
   std::mt19937_64 random(20240307);
   for (int i = 0; i < 3000; ++i) {
      const uint64_t n = random() % 5000;
      expectCover(callsOf(n, i % 10 == 0), n);
   }
}

#ifndef _WIN32
// The processor count comes from the platform layer, which a test can set.
class ProcessorCount : public ::testing::Test {
protected:
   void TearDown() override { voplatform::setProcessorCount(0); }

   static std::vector<Range> ranges(DWORD count, uint64_t n, bool parallel) {
      voplatform::setProcessorCount(count);
      std::vector<Call> calls = callsOf(n, parallel);
      // Workers begin in any order: list them by range, then the caller's rest.
      std::stable_sort(calls.begin(), calls.end(), [](const Call& a, const Call& b) {
         return std::tie(a.onCaller, a.range) < std::tie(b.onCaller, b.range);
      });
      std::vector<Range> result;
      for (const Call& c : calls)
         result.push_back(c.range);
      return result;
   }
};

TEST_F(ProcessorCount, SlicesFollowTheProcessorCount) {
   using R = std::vector<Range>;
   const struct {
      DWORD processors;
      uint64_t n;
      R expected;
   } kCases[] = {
       {4, 10, R{{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 10}}},
       {4, 8, R{{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 8}}},
       {8, 3, R{{0, 1}, {1, 2}, {2, 3}, {3, 3}}},
       {1, 5, R{{0, 2}, {2, 4}, {4, 5}}},
       {1, 1, R{{0, 1}, {1, 1}}},
       {8, 10, R{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 10}}},
       {8, 8, R{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 8}}},
       {1, 0, R{}},
   };
   for (const auto& c : kCases)
      for (const bool parallel : {false, true})
         EXPECT_EQ(ranges(c.processors, c.n, parallel), c.expected)
             << c.processors << " processors, n = " << c.n << (parallel ? ", parallel" : "");
}

TEST_F(ProcessorCount, RandomCountsCoverOnce) {
   std::mt19937_64 random(7);
   for (int i = 0; i < 2000; ++i) {
      voplatform::setProcessorCount(static_cast<DWORD>(1 + random() % 16));
      const uint64_t n = random() % 3000;
      expectCover(callsOf(n, i % 20 == 0), n);
   }
}
#endif

TEST(VoSysEnvParallel, ASliceIsAThreadOfItsOwn) {
   std::vector<Range> seen;
   VoForSlice idle;
   EXPECT_EQ(idle.begin, 0u);
   EXPECT_EQ(idle.end, 0u);
   VoForSlice slice([&](uint64_t b, uint64_t e) { seen.push_back({b, e}); }, 3, 7);
   idle = slice;
   idle.start(SxSystemThread::Normal);
   idle.wait();
   EXPECT_EQ(seen, std::vector<Range>{Range(3, 7)});
}

} // namespace
