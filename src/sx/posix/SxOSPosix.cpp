// The foundation's file-system calls on POSIX.

#include "../SxStdioOS.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sx/SxFS.h>
#include <sx/SxOS.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void fill(const struct stat& st, SxOS::FileStat* result) {
   result->kind = S_ISREG(st.st_mode)   ? SxOS::FileStat::Kind::Regular
                  : S_ISDIR(st.st_mode) ? SxOS::FileStat::Kind::Directory
                                        : SxOS::FileStat::Kind::Other;
   result->size = static_cast<int64_t>(st.st_size);
   result->device = static_cast<uint64_t>(st.st_dev);
   result->fileNumber = static_cast<uint64_t>(st.st_ino);
}

// A rename is durable only once the directory that holds the new name is on the device. File
// systems that cannot sync a directory refuse it; the rename itself has happened then.
void syncDirectoryOf(const SxString& name) {
   const int fd = ::open(SxFileInfo(name).getPath().utf8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
   if (fd < 0)
      return;
   while (::fsync(fd) != 0 && errno == EINTR) {
   }
   ::close(fd);
}

class PosixOS final : public sx::detail::StdioOS {
public:
   std::FILE* open(const SxString& name, const char* mode, int permissions) override {
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
      if (m.find('x') != std::string::npos)
         flags |= O_EXCL;
      int fd;
      do
         fd = ::open(name.utf8(), flags, static_cast<mode_t>(permissions));
      while (fd < 0 && errno == EINTR);
      if (fd < 0)
         return nullptr;
      std::string fdMode;
      for (char c : m)
         if (c != 'x')
            fdMode += c;
      std::FILE* f = ::fdopen(fd, fdMode.c_str());
      if (!f) {
         const int err = errno;
         ::close(fd);
         errno = err;
      }
      return f;
   }

   int sync(std::FILE* file) override {
      if (std::fflush(file) != 0)
         return -1;
      int result;
      do
         result = ::fsync(::fileno(file));
      while (result != 0 && errno == EINTR);
      return result;
   }

   int seek(std::FILE* file, int64_t offset, int whence) override {
      return ::fseeko(file, static_cast<off_t>(offset), whence);
   }

   int64_t tell(std::FILE* file) override { return static_cast<int64_t>(::ftello(file)); }

   int rename(const SxString& from, const SxString& to) override {
      if (::rename(from.utf8(), to.utf8()) != 0)
         return -1;
      syncDirectoryOf(to);
      return 0;
   }

   int unlink(const SxString& name) override { return ::unlink(name.utf8()); }

   int stat(const SxString& name, FileStat* result) override {
      struct stat st {};
      if (::stat(name.utf8(), &st) != 0)
         return -1;
      fill(st, result);
      return 0;
   }

   int stat(std::FILE* file, FileStat* result) override {
      struct stat st {};
      if (::fstat(::fileno(file), &st) != 0)
         return -1;
      fill(st, result);
      return 0;
   }

   const char* map(std::FILE* file, std::size_t size, void** mapping) override {
      int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
      // Fault the pages in at once: callers read the whole file, and one fault per page costs
      // more.
      flags |= MAP_POPULATE;
#endif
      void* data = ::mmap(nullptr, size, PROT_READ, flags, ::fileno(file), 0);
      if (data == MAP_FAILED)
         return nullptr;
      *mapping = data;
      return static_cast<const char*>(data);
   }

   void unmap(const char* data, std::size_t size, void* /*mapping*/) override {
      ::munmap(const_cast<char*>(data), size);
   }
};

} // namespace

SxOS& SxOS::platform() {
   static PosixOS os;
   return os;
}
