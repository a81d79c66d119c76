#include <gtest/gtest.h>
#include <windows.h>

namespace {

uint64_t ticksOf(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
   const SYSTEMTIME t{year, month, 0, day, hour, minute, second, ms};
   FILETIME f{};
   EXPECT_TRUE(SystemTimeToFileTime(&t, &f));
   return (uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime;
}

TEST(SystemTime, FileTimesCountTicksSince1601) {
   EXPECT_EQ(ticksOf(1601, 1, 1, 0, 0, 0, 0), 0u);
   EXPECT_EQ(ticksOf(1970, 1, 1, 0, 0, 0, 0), 116444736000000000u);
   EXPECT_EQ(ticksOf(2000, 2, 29, 23, 59, 59, 999), 125963423999990000u);
}

TEST(SystemTime, OutOfRangeFieldsLeaveTheFileTimeAlone) {
   const SYSTEMTIME bad[] = {{1600, 12, 0, 31, 0, 0, 0, 0},
                             {2023, 2, 0, 29, 0, 0, 0, 0},
                             {2024, 13, 0, 1, 0, 0, 0, 0},
                             {2024, 1, 0, 1, 24, 0, 0, 0},
                             {2024, 1, 0, 1, 0, 0, 0, 1000}};
   for (const SYSTEMTIME& t : bad) {
      FILETIME f{7, 9};
      EXPECT_FALSE(SystemTimeToFileTime(&t, &f)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
      EXPECT_EQ(f.dwLowDateTime, 7u);
      EXPECT_EQ(f.dwHighDateTime, 9u);
   }
}

} // namespace
