#include <cerrno>
#include <cstring>
#include <windows.h>

errno_t _localtime64_s(struct tm* result, const __time64_t* time) {
   if (!result)
      return EINVAL;
   std::memset(result, 0, sizeof *result);
   if (!time || *time < 0)
      return EINVAL;
   const std::time_t t = static_cast<std::time_t>(*time);
   return ::localtime_r(&t, result) ? 0 : EINVAL;
}
