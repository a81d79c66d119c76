// Files, free space and symbolic links.

#include "Posix.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sx/SxString.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

class File : public voplatform::HandleObject {
public:
   explicit File(int descriptor) : fd(descriptor) {}
   ~File() override { ::close(fd); }
   File(const File&) = delete;
   File& operator=(const File&) = delete;
   const int fd;
};

HANDLE failFile(DWORD status) {
   SetLastError(status);
   return INVALID_HANDLE_VALUE;
}

} // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE templateFile) {
   if (!fileName || securityAttributes || templateFile)
      return failFile(ERROR_INVALID_PARAMETER);
   const bool reading = desiredAccess & GENERIC_READ;
   const bool writing = desiredAccess & GENERIC_WRITE;
   int flags = O_CLOEXEC | (reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY);
   switch (creationDisposition) {
   case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
   case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
   case OPEN_EXISTING:
      break;
   case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
   case TRUNCATE_EXISTING:
      if (!writing)
         return failFile(ERROR_INVALID_PARAMETER);
      flags |= O_TRUNC;
      break;
   default:
      return failFile(ERROR_INVALID_PARAMETER);
   }
   std::string path = fileName;
   for (char& c : path)
      if (c == '\\')
         c = '/';
   const int fd = ::open(path.c_str(), flags, 0666);
   if (fd < 0)
      // Windows names an existing file in the way of CREATE_NEW differently from other clashes.
      return failFile(errno == EEXIST ? ERROR_FILE_EXISTS : voplatform::winStatusFromErrno(errno));
   SetLastError(ERROR_SUCCESS);
   return voplatform::registerHandle(std::make_unique<File>(fd));
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
   if (!fileName)
      return failFile(ERROR_INVALID_PARAMETER);
   return CreateFileA(SxString::fromUtf16(fileName).getElems(), desiredAccess, shareMode,
                      securityAttributes, creationDisposition, flagsAndAttributes, templateFile);
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD moveMethod) {
   auto* file = voplatform::handleObject<File>(handle);
   if (!file)
      return voplatform::failWith(ERROR_INVALID_HANDLE);
   static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
   if (moveMethod > FILE_END)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   const off_t position = ::lseek(file->fd, distance.QuadPart, kWhence[moveMethod]);
   if (position < 0)
      return voplatform::failWith(errno == EINVAL ? ERROR_NEGATIVE_SEEK
                                                  : voplatform::winStatusFromErrno(errno));
   if (newPosition)
      newPosition->QuadPart = position;
   return TRUE;
}

BOOL SetEndOfFile(HANDLE handle) {
   auto* file = voplatform::handleObject<File>(handle);
   if (!file)
      return voplatform::failWith(ERROR_INVALID_HANDLE);
   const off_t position = ::lseek(file->fd, 0, SEEK_CUR);
   if (position < 0 || ::ftruncate(file->fd, position) != 0)
      return voplatform::failWith(errno == EBADF || errno == EINVAL
                                      ? ERROR_ACCESS_DENIED // not open for writing
                                      : voplatform::winStatusFromErrno(errno));
   return TRUE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes,
                         PULARGE_INTEGER totalNumberOfFreeBytes) {
   if (const auto status = voplatform::takeInjectedFailure("GetDiskFreeSpaceExW"))
      return voplatform::failWith(*status);
   const std::string path = directoryName ? voplatform::posixPath(directoryName) : ".";
   struct statvfs fs {};
   if (::statvfs(path.c_str(), &fs) != 0)
      return voplatform::failWith(
          voplatform::winStatusFromErrno(errno, voplatform::PathKind::Directory));
   const uint64_t unit = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
   if (freeBytesAvailableToCaller)
      freeBytesAvailableToCaller->QuadPart = uint64_t{fs.f_bavail} * unit;
   if (totalNumberOfBytes)
      totalNumberOfBytes->QuadPart = uint64_t{fs.f_blocks} * unit;
   if (totalNumberOfFreeBytes)
      totalNumberOfFreeBytes->QuadPart = uint64_t{fs.f_bfree} * unit;
   return TRUE;
}

BOOLEAN CreateSymbolicLinkW(LPCWSTR symlinkFileName, LPCWSTR targetFileName, DWORD flags) {
   if (const auto status = voplatform::takeInjectedFailure("CreateSymbolicLinkW"))
      return static_cast<BOOLEAN>(voplatform::failWith(*status));
   constexpr DWORD kKnownFlags =
       SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
   if (!symlinkFileName || !targetFileName || (flags & ~kKnownFlags))
      return static_cast<BOOLEAN>(voplatform::failWith(ERROR_INVALID_PARAMETER));
   const std::string link = voplatform::posixPath(symlinkFileName);
   const std::string target = voplatform::posixPath(targetFileName);
   if (::symlink(target.c_str(), link.c_str()) != 0)
      return static_cast<BOOLEAN>(voplatform::failWith(
          voplatform::winStatusFromErrno(errno, voplatform::PathKind::Directory)));
   return TRUE;
}
