// The foundation's system calls on POSIX.

#include "../SxStdioOS.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sx/SxFS.h>
#include <sx/SxOS.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

void fill(const struct stat& st, SxOS::FileStat* result) {
   result->kind = S_ISREG(st.st_mode)                          ? SxOS::FileStat::Kind::Regular
                  : S_ISDIR(st.st_mode)                        ? SxOS::FileStat::Kind::Directory
                  : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? SxOS::FileStat::Kind::Device
                                                               : SxOS::FileStat::Kind::Other;
   result->size = static_cast<int64_t>(st.st_size);
   result->device = static_cast<uint64_t>(st.st_dev);
   result->fileNumber = static_cast<uint64_t>(st.st_ino);
}

// A rename is durable only once the directory that holds the new name is on the device. File
// systems that cannot sync a directory refuse it; the rename itself has happened then.
void syncDirectoryOf(const SxString& name) {
   const int fd =
       ::open(SxFileInfo(name).getPath().bytes().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
         fd = ::open(name.bytes().c_str(), flags, static_cast<mode_t>(permissions));
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
      if (::rename(from.bytes().c_str(), to.bytes().c_str()) != 0)
         return -1;
      syncDirectoryOf(to);
      return 0;
   }

   int unlink(const SxString& name) override { return ::unlink(name.bytes().c_str()); }

   int stat(const SxString& name, FileStat* result) override {
      struct stat st {};
      if (::stat(name.bytes().c_str(), &st) != 0)
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

   // A file that shrinks under a mapping here ends the process with SIGBUS on the next access,
   // and nothing stops another process from shrinking it: files are read instead.
   const char* map(std::FILE* /*file*/, std::size_t /*size*/, void** /*mapping*/) override {
      errno = ENOTSUP;
      return nullptr;
   }

   void unmap(const char* /*data*/, std::size_t /*size*/, void* /*mapping*/) override {}

   int pipe(Handle ends[2]) override {
      int fds[2];
      if (::pipe2(fds, O_CLOEXEC) != 0)
         return -1;
      ends[0] = fds[0];
      ends[1] = fds[1];
      return 0;
   }

   int64_t readPipe(Handle end, void* buffer, int64_t n) override {
      return ::read(static_cast<int>(end), buffer, static_cast<std::size_t>(n));
   }

   int64_t writePipe(Handle end, const void* data, int64_t n) override {
      return ::write(static_cast<int>(end), data, static_cast<std::size_t>(n));
   }

   // Every descriptor is opened close-on-exec, so the child gets only the three dup2 gives it.
   int spawn(const SxString& program, const SxList<SxString>& args, const Handle stdio[3],
             bool /*hiddenWindow*/, Handle* child) override {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      for (int fd = 0; fd < 3; ++fd)
         if (stdio[fd] != kNoHandle)
            posix_spawn_file_actions_adddup2(&actions, static_cast<int>(stdio[fd]), fd);
      std::vector<std::string> storage;
      for (const SxString& a : args)
         storage.push_back(a.bytes());
      std::vector<char*> argv;
      for (std::string& s : storage)
         argv.push_back(s.data());
      argv.push_back(nullptr);
      pid_t pid = -1;
      const int rc =
          ::posix_spawn(&pid, program.bytes().c_str(), &actions, nullptr, argv.data(), environ);
      posix_spawn_file_actions_destroy(&actions);
      if (rc != 0)
         return errno = rc, -1;
      *child = pid;
      return 0;
   }
};

} // namespace

SxOS& SxOS::platform() {
   static PosixOS os;
   return os;
}
