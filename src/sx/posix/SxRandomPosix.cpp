// Secure random bytes on POSIX.

#include <cerrno>
#include <sx/SxUUIDv4.h>
#include <sys/random.h>

bool sxSecureRandom(void* buffer, std::size_t n) {
   auto* bytes = static_cast<unsigned char*>(buffer);
   while (n > 0) {
      const ssize_t got = ::getrandom(bytes, n, 0);
      if (got < 0) {
         if (errno == EINTR)
            continue;
         return false;
      }
      bytes += got;
      n -= static_cast<std::size_t>(got);
   }
   return true;
}
