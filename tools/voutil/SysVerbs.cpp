// The system-environment verbs: sys, ps, wait, kill, bits, link, truncate and appkey.

#include "Cli.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <sx/SxException.h>
#include <sx/SxFileIO.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace voutil::cli {
namespace {

// Where the library keeps the applications' settings.
const SxString kAppsKey = "HKCU/Software/MORV/Apps/";

// Process ids are the system's 32-bit ids; 0 names no process.
constexpr uint64_t kMaxPid = 0xFFFFFFFFu;
// The waits take 32-bit milliseconds, the highest of which means "no limit".
constexpr uint64_t kMaxTimeoutMs = 0xFFFFFFFEu;

uint64_t pidArg(const SxString& text) {
   return parseUnsigned(text, "PID", 1, kMaxPid);
}

// "--timeout MS", or fallback when it is not given.
uint64_t timeoutOf(const CommandLine& line, uint64_t fallback) {
   const SxString* text = line.value("--timeout");
   return text ? parseUnsigned(*text, "--timeout", 0, kMaxTimeoutMs) : fallback;
}

bool isDigits(const SxString& text) {
   return !text.isEmpty() && text.str().find_first_not_of("0123456789") == std::string::npos;
}

// A handle of the tool's own on a process, closed on every path.
class WatchedProcess {
public:
   explicit WatchedProcess(uint64_t pid)
       : handle_(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid))) {}
   ~WatchedProcess() {
      if (handle_)
         CloseHandle(handle_);
   }
   WatchedProcess(const WatchedProcess&) = delete;
   WatchedProcess& operator=(const WatchedProcess&) = delete;

   /// Whether the process still runs; one that cannot be asked counts as ended.
   [[nodiscard]] bool stillRuns() const {
      return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
   }

private:
   HANDLE handle_;
};

void show(const char* label, const SxString& value) {
   std::printf("%-12s %s\n", label, value.utf8());
}

} // namespace

// voutil sys
int runSys(const Args& args) {
   if (!CommandLine(args, {}).operands().isEmpty())
      throw BadCommandLine("sys takes no arguments");
   show("clock", SxString(static_cast<unsigned long long>(VoSysEnv::getSysTime())) + " ms");
   show("time stamp", VoSysEnv::getTimestamp());
   show("host", VoSysEnv::getHostname());
   show("user", VoSysEnv::getUsername());
   if (VoRegistry::isVal("HKLM/SOFTWARE/MORV", "MachineGuid"))
      show("user id", VoSysEnv::getUserId());
   const SxList<SxString> adapters = VoSysEnv::getAdaptersId();
   show("adapters", adapters.isEmpty() ? SxString("(none)") : SxString::join(adapters, " "));
   const SxString data = VoSysEnv::getDataPath();
   try {
      show("free space",
           SxString(static_cast<unsigned long long>(VoSysEnv::getFreeDiskSpace(data))) +
               " bytes at " + data);
   } catch (const SxException& e) {
      show("free space", "unknown: " + e.getMessage());
   }
   show("elevated", VoSysEnv::isElevated() ? "yes" : "no");
   SYSTEM_INFO info;
   GetSystemInfo(&info);
   show("processors", SxString(static_cast<unsigned long>(info.dwNumberOfProcessors)));
   return Success;
}

// voutil ps [NAME] [--timeout MS]
int runPs(const Args& args) {
   const CommandLine line(args, {{"--timeout", true}});
   // A search of 0 ms would never look; 0 means "look at least once". The library starts its
   // clock before the first look, so a limit of 1 ms can pass before it: a short one is given.
   constexpr uint64_t kLookAtLeastOnceMs = 100;
   const uint64_t given = timeoutOf(line, 0);
   const uint64_t timeoutMs = given == 0 ? kLookAtLeastOnceMs : given;
   const Args& rest = line.operands();
   if (rest.getSize() > 1)
      throw BadCommandLine("ps takes at most one name");
   if (rest.isEmpty()) {
      for (const SxString& name : VoSysEnv::getRunningProcNames())
         std::printf("%s\n", name.utf8());
      return Success;
   }
   const uint64_t pid = VoSysEnv::getProcessID(rest(0), timeoutMs);
   if (pid == VoSysEnv::kProcessNotFound)
      throw VerbFailure("no process " + rest(0).str() + " found");
   std::printf("%llu\n", static_cast<unsigned long long>(pid));
   return Success;
}

// voutil wait PID|NAME [--timeout MS]
int runWait(const Args& args) {
   const CommandLine line(args, {{"--timeout", true}});
   const uint64_t timeoutMs = timeoutOf(line, 0);
   const Args& rest = line.operands();
   if (rest.getSize() != 1)
      throw BadCommandLine("wait needs one process id or name");
   uint64_t pid = 0;
   if (isDigits(rest(0))) {
      pid = pidArg(rest(0));
   } else {
      // A name is looked for as long as the wait may last (a second when that is unlimited).
      pid = VoSysEnv::getProcessID(rest(0), timeoutMs == 0 ? 1000 : timeoutMs);
      if (pid == VoSysEnv::kProcessNotFound)
         throw VerbFailure("no process " + rest(0).str() + " found");
   }
   // The library does not say whether the process ended or the time ran out.
   const WatchedProcess process(pid);
   VoSysEnv::waitForPID(pid, timeoutMs);
   if (process.stillRuns())
      throw VerbFailure("process " + rest(0).str() + " still runs after " +
                        std::to_string(timeoutMs) + " ms");
   return Success;
}

// voutil kill PID
int runKill(const Args& args) {
   const CommandLine line(args, {});
   if (line.operands().getSize() != 1)
      throw BadCommandLine("kill needs one process id");
   VoSysEnv::killProcess(pidArg(line.operands()(0)));
   return Success;
}

// voutil bits FILE
int runBits(const Args& args) {
   const CommandLine line(args, {});
   if (line.operands().getSize() != 1)
      throw BadCommandLine("bits needs one file");
   const SxString& file = line.operands()(0);
   requireRegularFile(file);
   std::printf("%d\n", VoSysEnv::is64BitApp(file) ? 64 : 32);
   return Success;
}

// voutil link [--dir] LINK TARGET
int runLink(const Args& args) {
   const CommandLine line(args, {{"--dir", false}});
   const Args& paths = line.operands();
   if (paths.getSize() != 2)
      throw BadCommandLine("link needs a link and a target");
   if (line.has("--dir"))
      VoSysEnv::symLinkDir(paths(0), paths(1));
   else
      VoSysEnv::symLinkFile(paths(0), paths(1));
   return Success;
}

// voutil truncate FILE SIZE
int runTruncate(const Args& args) {
   const CommandLine line(args, {});
   if (line.operands().getSize() != 2)
      throw BadCommandLine("truncate needs a file and a size");
   const SxString& file = line.operands()(0);
   const uint64_t size =
       parseUnsigned(line.operands()(1), "SIZE", 0, std::numeric_limits<int64_t>::max());
   requireRegularFile(file);
   // The library cuts the file at its current position when the seek to size fails, which
   // empties it; a seek of the tool's own finds such a size first.
   try {
      SxFileIO probe;
      probe.open(file, "r+b");
      probe.seek(static_cast<int64_t>(size));
   } catch (const SxException& e) {
      throw VerbFailure("cannot set the length of " + file.str() + " to " + std::to_string(size) +
                        " bytes: " + e.getMessage().str());
   }
   // The library reports nothing; the length afterwards tells whether it worked.
   VoSysEnv::truncateFile(file, size);
   const auto length = fileSize(file);
   if (length != size)
      throw VerbFailure("cannot set the length of " + file.str() + " to " + std::to_string(size) +
                        " bytes" + (length ? "; it is " + std::to_string(*length) + " bytes" : ""));
   return Success;
}

// voutil appkey get|set APP [KEY]
int runAppkey(const Args& args) {
   const CommandLine line(args, {});
   const Args& rest = line.operands();
   if (rest.getSize() == 2 && rest(0) == "get") {
      if (!VoRegistry::isVal(kAppsKey + rest(1), "userkey"))
         throw VerbFailure("no user key stored for " + rest(1).str());
      std::printf("%s\n", VoSysEnv::getUserKey(rest(1)).utf8());
      return Success;
   }
   if (rest.getSize() == 3 && rest(0) == "set") {
      VoSysEnv::setUserKey(rest(1), rest(2));
      return Success;
   }
   throw BadCommandLine("appkey needs 'get APP' or 'set APP KEY'");
}

} // namespace voutil::cli
