#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(SystemTime, FileTimesCountTicksSince1601AndRejectFieldsOutOfRange) {
   struct Case {
      SYSTEMTIME time;
      uint64_t ticks; // 0 for a time that is rejected, the file time left alone
   };
   const Case cases[] = {{{1601, 1, 0, 1, 0, 0, 0, 1}, 10000},
                         {{1970, 1, 0, 1, 0, 0, 0, 0}, 116444736000000000u},
                         {{2000, 2, 0, 29, 23, 59, 59, 999}, 125963423999990000u},
                         {{1600, 12, 0, 31, 0, 0, 0, 0}, 0},
                         {{2023, 2, 0, 29, 0, 0, 0, 0}, 0},
                         {{2024, 13, 0, 1, 0, 0, 0, 0}, 0},
                         {{2024, 1, 0, 1, 24, 0, 0, 0}, 0},
                         {{2024, 1, 0, 1, 0, 0, 0, 1000}, 0}};
   for (const Case& c : cases) {
      FILETIME f{7, 9};
      EXPECT_EQ(SystemTimeToFileTime(&c.time, &f), c.ticks != 0) << c.time.wYear;
      const uint64_t ticks = c.ticks ? c.ticks : (uint64_t{9} << 32) | 7;
      EXPECT_EQ((uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime, ticks) << c.time.wYear;
   }
}

} // namespace
