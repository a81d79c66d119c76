// The system clock on POSIX: the real-time clock, broken down in UTC.

#include <ctime>
#include <windows.h>

namespace {
// Days from 1970-01-01 to the given civil date (proleptic Gregorian), valid for any year.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
   year -= month <= 2;
   const int64_t era = (year >= 0 ? year : year - 399) / 400;
   const auto yearOfEra = static_cast<unsigned>(year - era * 400);
   const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
   const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
   return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

bool isLeap(unsigned year) {
   return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int64_t kDaysFrom1601To1970 = 134774;
constexpr int64_t kTicksPerMillisecond = 10000;
} // namespace

void GetSystemTime(LPSYSTEMTIME time) {
   timespec now{};
   ::clock_gettime(CLOCK_REALTIME, &now);
   tm fields{};
   ::gmtime_r(&now.tv_sec, &fields);
   time->wYear = static_cast<WORD>(fields.tm_year + 1900);
   time->wMonth = static_cast<WORD>(fields.tm_mon + 1);
   time->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
   time->wDay = static_cast<WORD>(fields.tm_mday);
   time->wHour = static_cast<WORD>(fields.tm_hour);
   time->wMinute = static_cast<WORD>(fields.tm_min);
   time->wSecond = static_cast<WORD>(fields.tm_sec);
   time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
   static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
   if (!systemTime || !fileTime)
      return FALSE;
   const SYSTEMTIME& t = *systemTime;
   if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
       t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999)
      return FALSE;
   const unsigned monthDays = kMonthDays[t.wMonth - 1] + (t.wMonth == 2 && isLeap(t.wYear));
   if (t.wDay > monthDays)
      return FALSE;
   const int64_t days = daysFromCivil(t.wYear, t.wMonth, t.wDay) + kDaysFrom1601To1970;
   const int64_t ms = ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + int64_t{t.wSecond} * 1000 +
                      t.wMilliseconds;
   const auto ticks = static_cast<uint64_t>(ms) * kTicksPerMillisecond;
   fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
   fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
   return TRUE;
}
