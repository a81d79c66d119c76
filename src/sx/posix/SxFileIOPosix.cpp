// Opening, seeking and telling files on POSIX, with the permissions new files get.

#include "../SxFileIOImpl.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sx::detail {

std::FILE* openFile(const SxString& name, const char* mode, int permissions) {
   const std::string m(mode);
   const bool plus = m.find('+') != std::string::npos;
   int flags = O_CLOEXEC;
   switch (m.empty() ? 'r' : m[0]) {
   case 'w':
      flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
   case 'a':
      flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
   default:
      flags |= plus ? O_RDWR : O_RDONLY;
      break;
   }
   const int fd = ::open(name.bytes().c_str(), flags, static_cast<mode_t>(permissions));
   if (fd < 0)
      return nullptr;
   std::FILE* f = ::fdopen(fd, mode);
   if (!f) {
      const int err = errno;
      ::close(fd);
      errno = err;
   }
   return f;
}

int seekFile(std::FILE* file, int64_t offset, int whence) {
   return ::fseeko(file, static_cast<off_t>(offset), whence);
}

int64_t tellFile(std::FILE* file) {
   return static_cast<int64_t>(::ftello(file));
}

} // namespace sx::detail
