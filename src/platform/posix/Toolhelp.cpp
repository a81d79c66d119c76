// Process snapshots from /proc.

#include "Posix.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sx/SxString.h>
#include <tlhelp32.h>
#include <unistd.h>
#include <vector>

namespace {

struct ProcessRecord {
   DWORD id;
   std::string exeName;
};

class Snapshot : public voplatform::HandleObject {
public:
   std::vector<ProcessRecord> processes;
   std::size_t next = 0;
};

// Reads a small /proc file whole; empty when it cannot be read.
std::string readSmallFile(const std::string& path) {
   const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
   if (fd < 0)
      return {};
   char buffer[4096];
   std::string text;
   for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
      if (n > 0)
         text.append(buffer, static_cast<std::size_t>(n));
      else if (errno != EINTR)
         break;
   }
   ::close(fd);
   return text;
}

std::string baseName(const std::string& path) {
   const std::size_t slash = path.rfind('/');
   return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel cuts the name it keeps to this many bytes.
constexpr std::size_t kKernelNameLength = 15;

std::string exeNameOf(const std::string& procDir) {
   char target[4096];
   const ssize_t n = ::readlink((procDir + "/exe").c_str(), target, sizeof target - 1);
   if (n > 0) {
      std::string path(target, static_cast<std::size_t>(n));
      const std::string deleted = " (deleted)";
      if (path.size() > deleted.size() && path.ends_with(deleted))
         path.resize(path.size() - deleted.size());
      return baseName(path);
   }
   // Not ours to inspect, a kernel thread, or already ended: the kernel's name, and where that
   // was cut short, the program name of the command line that it begins.
   std::string name = readSmallFile(procDir + "/comm");
   if (!name.empty() && name.back() == '\n')
      name.pop_back();
   if (name.size() == kKernelNameLength) {
      const std::string commandLine = readSmallFile(procDir + "/cmdline");
      const std::string program = baseName(commandLine.substr(0, commandLine.find('\0')));
      if (program.size() > name.size() && program.starts_with(name))
         name = program;
   }
   return name;
}

BOOL readEntry(HANDLE handle, LPPROCESSENTRY32W entry, bool first) {
   auto* snapshot = voplatform::handleObject<Snapshot>(handle);
   if (!snapshot)
      return voplatform::failWith(ERROR_INVALID_HANDLE);
   if (!entry || entry->dwSize < sizeof(PROCESSENTRY32W))
      return voplatform::failWith(ERROR_BAD_LENGTH);
   if (first)
      snapshot->next = 0;
   if (snapshot->next >= snapshot->processes.size())
      return voplatform::failWith(ERROR_NO_MORE_FILES);
   const ProcessRecord& record = snapshot->processes[snapshot->next++];
   const DWORD size = entry->dwSize;
   std::memset(entry, 0, sizeof *entry);
   entry->dwSize = size;
   entry->th32ProcessID = record.id;
   const SxArray<SxChar16> name = SxString(record.exeName).utf16();
   const std::size_t units =
       std::min<std::size_t>(static_cast<std::size_t>(name.getSize()) - 1, MAX_PATH - 1);
   std::memcpy(entry->szExeFile, name.elements(), units * sizeof(WCHAR));
   entry->szExeFile[units] = 0;
   return TRUE;
}

} // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD /*processId*/) {
   if (const auto status = voplatform::takeInjectedFailure("CreateToolhelp32Snapshot")) {
      SetLastError(*status);
      return INVALID_HANDLE_VALUE;
   }
   if (flags != TH32CS_SNAPPROCESS) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
   }
   DIR* proc = ::opendir("/proc");
   if (!proc) {
      SetLastError(voplatform::winStatusFromErrno(errno, voplatform::PathKind::Directory));
      return INVALID_HANDLE_VALUE;
   }
   auto snapshot = std::make_unique<Snapshot>();
   while (const dirent* entry = ::readdir(proc)) {
      char* end = nullptr;
      const unsigned long id = std::strtoul(entry->d_name, &end, 10);
      if (*end != '\0' || end == entry->d_name || id == 0 || id > UINT32_MAX)
         continue;
      std::string name = exeNameOf(std::string("/proc/") + entry->d_name);
      if (!name.empty()) // gone between the listing and the look
         snapshot->processes.push_back({static_cast<DWORD>(id), std::move(name)});
   }
   ::closedir(proc);
   std::sort(snapshot->processes.begin(), snapshot->processes.end(),
             [](const ProcessRecord& a, const ProcessRecord& b) { return a.id < b.id; });
   return voplatform::registerHandle(std::move(snapshot));
}

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
   if (const auto status = voplatform::takeInjectedFailure("Process32FirstW"))
      return voplatform::failWith(*status);
   return readEntry(snapshot, entry, true);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
   return readEntry(snapshot, entry, false);
}
