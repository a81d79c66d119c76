// The C runtime calls of Windows that the library uses: time conversion and the working directory.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sx/SxString.h>
#include <unistd.h>
#include <windows.h>

namespace {
// The Windows runtime's checks around a reentrant breakdown of the C library.
errno_t breakDown(struct tm* result, const __time64_t* time,
                  struct tm* (*convert)(const std::time_t*, struct tm*)) {
   if (!result)
      return EINVAL;
   std::memset(result, 0, sizeof *result);
   if (!time || *time < 0)
      return EINVAL;
   const std::time_t t = static_cast<std::time_t>(*time);
   return convert(&t, result) ? 0 : EINVAL;
}
} // namespace

errno_t _localtime64_s(struct tm* result, const __time64_t* time) {
   return breakDown(result, time, ::localtime_r);
}

char* _getcwd(char* buffer, int maxLength) {
   return ::getcwd(buffer, buffer ? static_cast<size_t>(maxLength < 0 ? 0 : maxLength) : 0);
}

WCHAR* _wgetcwd(WCHAR* buffer, int maxLength) {
   char* narrow = ::getcwd(nullptr, 0);
   if (!narrow)
      return nullptr;
   const SxArray<SxChar16> wide = SxString::fromUtf8(narrow).utf16();
   std::free(narrow);
   const auto units = static_cast<std::size_t>(wide.getSize()); // with the NUL
   if (buffer && (maxLength < 0 || units > static_cast<std::size_t>(maxLength))) {
      errno = ERANGE;
      return nullptr;
   }
   WCHAR* out = buffer ? buffer : static_cast<WCHAR*>(std::malloc(units * sizeof(WCHAR)));
   if (!out) {
      errno = ENOMEM;
      return nullptr;
   }
   std::memcpy(out, wide.elements(), units * sizeof(WCHAR));
   return out;
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

errno_t _gmtime64_s(struct tm* result, const __time64_t* time) {
   return breakDown(result, time, ::gmtime_r);
}
