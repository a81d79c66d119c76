// The running executable's path on Windows.

#include <cstring>
#include <sx/SxExecPath.h>
#include <sx/SxString.h>
#include <vector>
#include <windows.h>

long sxGetExecPath(char* buffer, long size) {
   if (!buffer || size <= 0)
      return -1;
   buffer[0] = '\0';
   std::vector<wchar_t> wide(32768);
   const DWORD n = ::GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
   if (n == 0 || n >= wide.size())
      return -1;
   const SxString path = SxString::fromUtf16(wide.data());
   if (path.getNBytes() >= size)
      return -1;
   std::memcpy(buffer, path.utf8(), static_cast<std::size_t>(path.getNBytes()) + 1);
   return static_cast<long>(path.getNBytes());
}
