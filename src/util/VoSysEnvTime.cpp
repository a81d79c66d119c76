// VoSysEnv: the clocks, time stamps and identity of the running system.

#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace {
// Milliseconds from 1601-01-01, where file times start, to the Unix epoch.
constexpr uint64_t kEpochOffsetMs = 11644473600000ULL;
} // namespace

uint64_t VoSysEnv::getSysTime() {
   SYSTEMTIME now;
   GetSystemTime(&now);
   FILETIME fileTime;
   SystemTimeToFileTime(&now, &fileTime);
   const uint64_t ticks = (uint64_t{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime;
   return ticks / 10000 - kEpochOffsetMs;
}
