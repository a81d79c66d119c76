// Secure random bytes on Windows.

#include <sx/SxUUIDv4.h>

// bcrypt.h needs the types of windows.h first.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

bool sxSecureRandom(void* buffer, std::size_t n) {
   auto* bytes = static_cast<unsigned char*>(buffer);
   while (n > 0) {
      const ULONG chunk = n > 0x40000000 ? 0x40000000 : static_cast<ULONG>(n);
      if (!BCRYPT_SUCCESS(
              ::BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
         return false;
      bytes += chunk;
      n -= chunk;
   }
   return true;
}
