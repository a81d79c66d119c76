// VoSysEnv: other processes of the machine, their windows, and the bit width of executables.

#include "VoScopedHandle.h"

#include <cstring>
#include <string_view>
#include <sx/SxError.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <voutil/VoLog.h>
#include <voutil/VoSysEnv.h>

// The snapshot functions need the types of windows.h first.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

namespace {
constexpr char kSource[] = "src/util/VoSysEnv";

using vo::detail::ScopedHandle;

enum class Walk { NoSnapshot, NoFirstEntry, Done };

// Walks a fresh process snapshot, calling visit(entry, name) for each process until it returns
// false. The snapshot is closed before the walk returns.
template <class Visit>
Walk walkProcesses(Visit&& visit) {
   const ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
   if (!snapshot.isValid())
      return Walk::NoSnapshot;
   PROCESSENTRY32W entry;
   std::memset(&entry, 0, sizeof entry);
   entry.dwSize = sizeof entry;
   if (!Process32FirstW(snapshot.get(), &entry))
      return Walk::NoFirstEntry;
   do {
      if (!visit(entry, SxString::fromUtf16(entry.szExeFile)))
         break;
   } while (Process32NextW(snapshot.get(), &entry));
   return Walk::Done;
}

// Opens the process for access, or raises the open failure that names the id.
HANDLE openProcessOrThrow(DWORD access, uint64_t pid) {
   const HANDLE process = OpenProcess(access, FALSE, static_cast<DWORD>(pid));
   if (!process)
      throw SxException("Get Process for pid " + SxString(static_cast<unsigned long long>(pid)) +
                            " failed: " + sxstrerror(static_cast<long>(GetLastError())),
                        kSource);
   return process;
}

constexpr std::ptrdiff_t kHeaderBytes = 4096;
// "PE", two zero bytes, then the machine type, whose low byte decides.
constexpr std::ptrdiff_t kMachineOffset = 4;
constexpr std::ptrdiff_t kNeededAfterSignature = 11;
} // namespace

uint64_t VoSysEnv::getProcessID(const SxString& name, uint64_t timeoutMs) {
   uint64_t found = kProcessNotFound;
   const uint64_t start = getSysTime();
   uint64_t elapsed = getSysTime() - start;
   while (elapsed < timeoutMs && found == kProcessNotFound) {
      const Walk walk = walkProcesses([&](const PROCESSENTRY32W& entry, const SxString& exe) {
         if (exe != name)
            return true;
         found = entry.th32ProcessID;
         return false;
      });
      if (walk != Walk::Done)
         return found;
      elapsed = getSysTime() - start;
   }
   return found;
}

SxUniqueList<SxString, SxHashFunction> VoSysEnv::getRunningProcNames() {
   try {
      SxUniqueList<SxString, SxHashFunction> names;
      const Walk walk = walkProcesses([&](const PROCESSENTRY32W&, const SxString& exe) {
         names.append(exe);
         return true;
      });
      if (walk != Walk::Done)
         throw SxException("Cannot open process handle", kSource);
      return names;
   } catch (const SxException&) {
      throw SxException("Cannot obtain list of running processes", kSource);
   }
}

bool VoSysEnv::isProcRunning(const SxString& name) {
   bool running = false;
   walkProcesses([&](const PROCESSENTRY32W&, const SxString& exe) {
      running = exe == name;
      return !running;
   });
   return running;
}

void VoSysEnv::waitForPID(uint64_t pid, uint64_t timeoutMs) {
   const ScopedHandle process(openProcessOrThrow(SYNCHRONIZE, pid));
   (void)WaitForSingleObject(process.get(),
                             timeoutMs == 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

void VoSysEnv::waitForProcess(const SxString& name, uint64_t searchMs, uint64_t waitMs) {
   const uint64_t pid = getProcessID(name, searchMs);
   const SxString id(static_cast<unsigned long long>(pid));
   voLogMsg("util", "Process " + name + " identified as PID " + id);
   voLogMsg("util", "Waiting for Process " + id + " to end.");
   waitForPID(pid, waitMs);
}

void VoSysEnv::killProcess(uint64_t pid) {
   const ScopedHandle process(openProcessOrThrow(PROCESS_TERMINATE, pid));
   (void)TerminateProcess(process.get(), 0);
}

SxList<HWND> VoSysEnv::getAllWindowsInProcess(uint64_t pid) {
   SxList<HWND> windows;
   HWND window = nullptr;
   while ((window = FindWindowExW(nullptr, window, nullptr, nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner != static_cast<DWORD>(pid))
         continue;
      if (!GetWindow(window, GW_OWNER) && IsWindowVisible(window))
         windows.prepend(window);
      else
         windows.append(window);
   }
   return windows;
}

bool VoSysEnv::isProcOnDriveRunning(const SxString& drive) {
   bool found = false;
   const Walk walk = walkProcesses([&](const PROCESSENTRY32W& entry, const SxString&) {
      // Processes that cannot be opened or asked are skipped.
      const ScopedHandle process(
          OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID));
      WCHAR path[MAX_PATH];
      DWORD size = MAX_PATH;
      found = process.isValid() && QueryFullProcessImageNameW(process.get(), 0, path, &size) &&
              unifySlashes(SxString::fromUtf16(path)).contains(drive);
      return !found;
   });
   if (walk == Walk::NoSnapshot)
      voLogMsg("util", "Failed to create Process snapshot");
   return found;
}

bool VoSysEnv::is64BitApp(const SxString& path) {
   if (!SxFSAction::test_f(path))
      throw SxException("The file " + path + " does not exist.", kSource);
   char header[kHeaderBytes];
   int64_t count = 0;
   try {
      SxFileIO file;
      file.open(path, "rb", 0600);
      count = file.read(header, kHeaderBytes);
      file.close();
   } catch (const SxException& e) {
      throw SxException(e, "Cannot read " + path, kSource);
   }
   // The bytes, not text: the header holds anything.
   const std::string_view bytes(header, static_cast<std::size_t>(count));
   const std::size_t signature = bytes.find("PE");
   if (signature == std::string_view::npos || signature == 0)
      throw SxException("Bit width parameter not found in file specified. Please check wherever "
                        "file is a valid .exe file.",
                        kSource);
   if (static_cast<int64_t>(signature) > count - kNeededAfterSignature)
      throw SxException("The buffer read was too small for identification of bit width.", kSource);
   switch (bytes[signature + kMachineOffset]) {
   case 0x4C:
      return false;
   case 0x64:
      return true;
   default:
      throw SxException("Bit width value is invalid in file specified. Please check wherever file "
                        "is a valid WIN32 .exe file.",
                        kSource);
   }
}
