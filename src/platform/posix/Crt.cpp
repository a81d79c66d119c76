#include <cerrno>
#include <cstring>
#include <unistd.h>
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

char* _getcwd(char* buffer, int maxLength) {
   return ::getcwd(buffer, buffer ? static_cast<size_t>(maxLength < 0 ? 0 : maxLength) : 0);
}

__time64_t _time64(__time64_t* time) {
   const __time64_t now = ::time(nullptr);
   if (time)
      *time = now;
   return now;
}

struct tm* _localtime64(const __time64_t* time) {
   thread_local struct tm fields;
   return _localtime64_s(&fields, time) == 0 ? &fields : nullptr;
}
