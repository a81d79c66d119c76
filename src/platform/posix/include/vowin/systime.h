#pragma once

// The Windows system clock: the current UTC time as calendar fields and as a file time.

#include <vowin/types.h>

struct SYSTEMTIME {
   WORD wYear;
   WORD wMonth;
   WORD wDayOfWeek;
   WORD wDay;
   WORD wHour;
   WORD wMinute;
   WORD wSecond;
   WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;

/// Fills time with the current UTC time from the real-time clock, to the millisecond.
void GetSystemTime(LPSYSTEMTIME time);

/// Converts the calendar fields of systemTime (wDayOfWeek is ignored) to a file time. Returns
/// FALSE and leaves fileTime untouched when a field is out of range or the date lies before
/// 1601.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
