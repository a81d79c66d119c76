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
