// The running executable's path on POSIX.

#include <sx/SxExecPath.h>
#include <unistd.h>

long sxGetExecPath(char* buffer, long size) {
   if (!buffer || size <= 0)
      return -1;
   buffer[0] = '\0';
   const ssize_t n = ::readlink("/proc/self/exe", buffer, static_cast<size_t>(size));
   if (n < 0 || n >= size) {
      buffer[0] = '\0';
      return -1;
   }
   buffer[n] = '\0';
   return static_cast<long>(n);
}
