#include <gtest/gtest.h>
#include <initializer_list>
#include <voutil/VoAvg.h>

namespace {

VoAvg fed(unsigned window, std::initializer_list<double> values) {
   VoAvg avg(window);
   for (double v : values)
      avg.update(v);
   return avg;
}

TEST(VoAvg, BothModesGiveMeanSpreadAndExtremes) {
   VoAvg reset = fed(2, {100, 200, 300});
   reset.reset();
   for (double v : {1.0, 2.0, 3.0})
      reset.update(v);
   const struct {
      const char* what;
      VoAvg avg;
      double average, sigma, min, max;
   } cases[] = {
       {"window 3 keeps 2 3 4, extremes keep all", fed(3, {1, 2, 3, 4}), 3.0, 0.816496580927726,
        1.0, 4.0},
       {"window larger than the stream", fed(10, {2, 4, 4, 4, 5, 5, 7, 9}), 5.0, 2.0, 2.0, 9.0},
       {"spread under 0.01 reads as 0", fed(0, {1.0, 1.01}), 1.005, 0.0, 1.0, 1.01},
       {"a negative first value", fed(2, {-3}), -3.0, 0.0, -3.0, -3.0},
       {"nothing yet, windowed", fed(4, {}), 0.0, 0.0, 0.0, 0.0},
       {"nothing yet, cumulative", fed(0, {}), 0.0, 0.0, 0.0, 0.0},
       {"a reset keeps the window", reset, 2.5, 0.5, 1.0, 3.0},
   };
   for (const auto& c : cases) {
      EXPECT_DOUBLE_EQ(c.avg.getAverage(), c.average) << c.what;
      EXPECT_NEAR(c.avg.getSigma(), c.sigma, 1e-12) << c.what;
      EXPECT_EQ(c.avg.getMin(), c.min) << c.what;
      EXPECT_EQ(c.avg.getMax(), c.max) << c.what;
   }
}

TEST(VoAvg, IntegerFormsActAsTheirNearestDouble) {
   VoAvg avg;
   avg.update(static_cast<long long>(-4));
   avg.update(static_cast<unsigned long long>(9007199254740993ULL)); // 2^53 + 1
   EXPECT_EQ(avg.getMin(), -4.0);
   EXPECT_EQ(avg.getMax(), 9007199254740992.0);
}

} // namespace
