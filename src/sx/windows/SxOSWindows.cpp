// The foundation's system calls on Windows, through the wide API so that names outside
// the ANSI code page work.

#include "../SxStdioOS.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <sx/SxOS.h>
#include <sys/stat.h>
#include <vector>
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
   case ERROR_BAD_EXE_FORMAT:
      return ENOEXEC;
   case ERROR_BROKEN_PIPE:
   case ERROR_NO_DATA:
      return EPIPE;
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

// Quotes one argument so that the child's runtime splits the command line back into exactly
// this argument: backslashes are literal except before a double quote.
std::wstring quoteArgument(const std::wstring& arg) {
   if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
      return arg;
   std::wstring out = L"\"";
   for (std::size_t i = 0;; ++i) {
      std::size_t backslashes = 0;
      while (i < arg.size() && arg[i] == L'\\') {
         ++i;
         ++backslashes;
      }
      if (i == arg.size()) {
         out.append(backslashes * 2, L'\\');
         break;
      }
      if (arg[i] == L'"') {
         out.append(backslashes * 2 + 1, L'\\');
         out += L'"';
      } else {
         out.append(backslashes, L'\\');
         out += arg[i];
      }
   }
   out += L'"';
   return out;
}

std::wstring wide(const SxString& s) {
   const SxArray<SxChar16> units = s.utf16();
   return std::wstring(units.elements(), static_cast<std::size_t>(units.getSize() - 1));
}

// The attribute list that limits what a child inherits to the handles given.
class InheritOnly {
public:
   explicit InheritOnly(const HANDLE (&candidates)[3]) {
      for (HANDLE h : candidates) {
         DWORD flags = 0;
         if (h && h != INVALID_HANDLE_VALUE && ::GetHandleInformation(h, &flags) &&
             (flags & HANDLE_FLAG_INHERIT) &&
             std::find(handles_, handles_ + count_, h) == handles_ + count_)
            handles_[count_++] = h;
      }
      SIZE_T size = 0;
      ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
      storage_.resize(size);
      list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
      if (!::InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
         list_ = nullptr;
         return;
      }
      if (count_ > 0 &&
          !::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_,
                                       count_ * sizeof(HANDLE), nullptr, nullptr)) {
         ::DeleteProcThreadAttributeList(list_);
         list_ = nullptr;
      }
   }
   ~InheritOnly() {
      if (list_)
         ::DeleteProcThreadAttributeList(list_);
   }
   InheritOnly(const InheritOnly&) = delete;
   InheritOnly& operator=(const InheritOnly&) = delete;

   /// The list, or null when it could not be built (GetLastError says why).
   [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }
   [[nodiscard]] bool inheritsAny() const { return count_ > 0; }

private:
   HANDLE handles_[3] = {};
   DWORD count_ = 0;
   std::vector<char> storage_;
   LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// A transfer takes at most a gigabyte at a time: the system counts bytes in 32 bits.
DWORD chunk(int64_t n) {
   return static_cast<DWORD>(std::min<int64_t>(n, int64_t{1} << 30));
}

HANDLE handleOf(std::FILE* file) {
   return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
}

int fill(HANDLE handle, SxOS::FileStat* result) {
   const DWORD type = ::GetFileType(handle);
   if (type != FILE_TYPE_DISK) {
      *result = SxOS::FileStat{};
      if (type == FILE_TYPE_CHAR)
         result->kind = SxOS::FileStat::Kind::Device;
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

   int pipe(Handle ends[2]) override {
      HANDLE readEnd = nullptr, writeEnd = nullptr;
      if (!::CreatePipe(&readEnd, &writeEnd, nullptr, 0))
         return failWithLastError();
      ends[0] = reinterpret_cast<Handle>(readEnd);
      ends[1] = reinterpret_cast<Handle>(writeEnd);
      return 0;
   }

   int64_t readPipe(Handle end, void* buffer, int64_t n) override {
      DWORD got = 0;
      if (::ReadFile(reinterpret_cast<HANDLE>(end), buffer, chunk(n), &got, nullptr))
         return got;
      // The last write end closed: the end of the data, not a failure.
      return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : failWithLastError();
   }

   int64_t writePipe(Handle end, const void* data, int64_t n) override {
      DWORD put = 0;
      if (!::WriteFile(reinterpret_cast<HANDLE>(end), data, chunk(n), &put, nullptr))
         return failWithLastError();
      return put;
   }

   int spawn(const SxString& program, const SxList<SxString>& args, const Handle stdio[3],
             bool hiddenWindow, Handle* child) override {
      const DWORD own[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
      HANDLE streams[3];
      for (int i = 0; i < 3; ++i) {
         streams[i] =
             stdio[i] == kNoHandle ? ::GetStdHandle(own[i]) : reinterpret_cast<HANDLE>(stdio[i]);
         // Only a handle marked inheritable can be passed on; the list below keeps it to this
         // child.
         if (stdio[i] != kNoHandle)
            ::SetHandleInformation(streams[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
      }
      STARTUPINFOEXW extended{};
      STARTUPINFOW& startup = extended.StartupInfo;
      startup.cb = sizeof extended;
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = streams[0];
      startup.hStdOutput = streams[1];
      startup.hStdError = streams[2];
      if (hiddenWindow) {
         startup.dwFlags |= STARTF_USESHOWWINDOW;
         startup.wShowWindow = SW_HIDE;
      }
      // The child inherits its own three handles and nothing else: with plain inheritance a
      // child started at the same moment on another thread would also get these pipe ends, and
      // hold them open until it ends.
      const InheritOnly inheritOnly(streams);
      if (!inheritOnly.list())
         return failWithLastError();
      extended.lpAttributeList = inheritOnly.list();

      std::wstring commandLine;
      for (const SxString& a : args) {
         if (!commandLine.empty())
            commandLine += L' ';
         commandLine += quoteArgument(wide(a));
      }
      const std::wstring application = wide(program);
      PROCESS_INFORMATION info{};
      const DWORD flags = EXTENDED_STARTUPINFO_PRESENT | (hiddenWindow ? CREATE_NO_WINDOW : 0);
      if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr,
                            inheritOnly.inheritsAny(), flags, nullptr, nullptr, &startup, &info))
         return failWithLastError();
      ::CloseHandle(info.hThread);
      *child = reinterpret_cast<Handle>(info.hProcess);
      return 0;
   }
};

} // namespace

SxOS& SxOS::platform() {
   static WindowsOS os;
   return os;
}
