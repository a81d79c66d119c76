// The foundation's file-system calls on Windows, through the wide API so that names outside
// the ANSI code page work.

#include "../SxStdioOS.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <sx/SxOS.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

// The one place where the system's error codes become errno values.
int errnoOf(DWORD error) {
   switch (error) {
   case ERROR_FILE_NOT_FOUND:
   case ERROR_PATH_NOT_FOUND:
   case ERROR_INVALID_NAME:
      return ENOENT;
   case ERROR_ACCESS_DENIED:
   case ERROR_SHARING_VIOLATION:
   case ERROR_LOCK_VIOLATION:
      return EACCES;
   case ERROR_FILE_EXISTS:
   case ERROR_ALREADY_EXISTS:
      return EEXIST;
   case ERROR_DISK_FULL:
   case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
   case ERROR_NOT_ENOUGH_MEMORY:
   case ERROR_OUTOFMEMORY:
      return ENOMEM;
   default:
      return EIO;
   }
}

int failWithLastError() {
   errno = errnoOf(::GetLastError());
   return -1;
}

HANDLE handleOf(std::FILE* file) {
   return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
}

int fill(HANDLE handle, SxOS::FileStat* result) {
   if (::GetFileType(handle) != FILE_TYPE_DISK) {
      *result = SxOS::FileStat{};
      return 0;
   }
   BY_HANDLE_FILE_INFORMATION info;
   if (!::GetFileInformationByHandle(handle, &info))
      return failWithLastError();
   result->kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                      ? SxOS::FileStat::Kind::Directory
                      : SxOS::FileStat::Kind::Regular;
   result->size = static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
   result->device = info.dwVolumeSerialNumber;
   result->fileNumber = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
   return 0;
}

class WindowsOS final : public sx::detail::StdioOS {
public:
   std::FILE* open(const SxString& name, const char* mode, int /*permissions*/) override {
      const std::string m(mode);
      const SxArray<SxChar16> wideName = name.utf16();
      if (m.find('x') != std::string::npos) {
         // Exclusive creation goes through the descriptor layer, which knows O_EXCL.
         const int fd = ::_wopen(reinterpret_cast<const wchar_t*>(wideName.elements()),
                                 _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                                 _S_IREAD | _S_IWRITE);
         if (fd < 0)
            return nullptr;
         std::FILE* f = ::_fdopen(fd, "wb");
         if (!f)
            ::_close(fd);
         return f;
      }
      // "N": the handle is not inherited by child processes.
      const SxArray<SxChar16> wideMode = SxString((m + "N").c_str()).utf16();
      return ::_wfopen(reinterpret_cast<const wchar_t*>(wideName.elements()),
                       reinterpret_cast<const wchar_t*>(wideMode.elements()));
   }

   int sync(std::FILE* file) override {
      if (std::fflush(file) != 0)
         return -1;
      return ::FlushFileBuffers(handleOf(file)) ? 0 : failWithLastError();
   }

   int seek(std::FILE* file, int64_t offset, int whence) override {
      return ::_fseeki64(file, offset, whence);
   }

   int64_t tell(std::FILE* file) override { return ::_ftelli64(file); }

   int rename(const SxString& from, const SxString& to) override {
      const SxArray<SxChar16> wideFrom = from.utf16();
      const SxArray<SxChar16> wideTo = to.utf16();
      return ::MoveFileExW(reinterpret_cast<const wchar_t*>(wideFrom.elements()),
                           reinterpret_cast<const wchar_t*>(wideTo.elements()),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                 ? 0
                 : failWithLastError();
   }

   int unlink(const SxString& name) override {
      const SxArray<SxChar16> wideName = name.utf16();
      return ::DeleteFileW(reinterpret_cast<const wchar_t*>(wideName.elements()))
                 ? 0
                 : failWithLastError();
   }

   int stat(const SxString& name, FileStat* result) override {
      const SxArray<SxChar16> wideName = name.utf16();
      // Backup semantics let directories open too; links are followed.
      const HANDLE handle =
          ::CreateFileW(reinterpret_cast<const wchar_t*>(wideName.elements()), 0,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (handle == INVALID_HANDLE_VALUE)
         return failWithLastError();
      FileStat filled;
      const int status = fill(handle, &filled);
      ::CloseHandle(handle);
      if (status == 0)
         *result = filled;
      return status;
   }

   int stat(std::FILE* file, FileStat* result) override {
      FileStat filled;
      if (fill(handleOf(file), &filled) != 0)
         return -1;
      *result = filled;
      return 0;
   }

   const char* map(std::FILE* file, std::size_t size, void** mapping) override {
      const HANDLE section =
          ::CreateFileMappingW(handleOf(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
      if (!section)
         return nullptr;
      const void* data = ::MapViewOfFile(section, FILE_MAP_READ, 0, 0, size);
      if (!data) {
         ::CloseHandle(section);
         return nullptr;
      }
      *mapping = section;
      return static_cast<const char*>(data);
   }

   void unmap(const char* data, std::size_t /*size*/, void* mapping) override {
      ::UnmapViewOfFile(data);
      ::CloseHandle(static_cast<HANDLE>(mapping));
   }
};

} // namespace

SxOS& SxOS::platform() {
   static WindowsOS os;
   return os;
}
