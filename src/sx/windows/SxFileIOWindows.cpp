#include "../SxFileIOImpl.h"

#include <cstdio>
#include <string>

namespace sx::detail {

// Windows has no permission bits for a new file; the name and mode go through the wide API so
// that names outside the ANSI code page work.
std::FILE* openFile(const SxString& name, const char* mode, int /*permissions*/) {
   const SxArray<SxChar16> wideName = name.utf16();
   const SxArray<SxChar16> wideMode = SxString(mode).utf16();
   return ::_wfopen(wideName.elements(), wideMode.elements());
}

int seekFile(std::FILE* file, int64_t offset, int whence) {
   return ::_fseeki64(file, offset, whence);
}

int64_t tellFile(std::FILE* file) {
   return ::_ftelli64(file);
}

} // namespace sx::detail
