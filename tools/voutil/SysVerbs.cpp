// The system-environment verbs: sys, ps, wait, kill, bits, link, truncate and appkey.

#include "Cli.h"

#include <cstdio>
#include <sx/SxException.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace voutil::cli {
namespace {

uint64_t numberArg(const SxString& text, const char* what) {
   bool error = false;
   const auto value = text.toNumber<uint64_t>(&error);
   if (error)
      throw BadCommandLine(std::string(what) + " must be a number: " + text.str());
   return value;
}

bool isNumber(const SxString& text) {
   bool error = false;
   (void)text.toNumber<uint64_t>(&error);
   return !error;
}

// Splits "--timeout MS" off the arguments; the rest are returned in order.
Args withoutTimeout(const Args& args, uint64_t* timeoutMs) {
   Args rest;
   for (std::ptrdiff_t i = 0; i < args.getSize(); ++i) {
      if (args(i) == "--timeout") {
         if (i + 1 >= args.getSize())
            throw BadCommandLine("--timeout needs a number of milliseconds");
         *timeoutMs = numberArg(args(++i), "--timeout");
      } else if (args(i).str().starts_with("--")) {
         throw BadCommandLine("unknown option " + args(i).str());
      } else {
         rest.append(args(i));
      }
   }
   return rest;
}

void show(const char* label, const SxString& value) {
   std::printf("%-12s %s\n", label, value.utf8());
}

} // namespace

// voutil sys
int runSys(const Args& args) {
   if (!args.isEmpty())
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
   uint64_t timeoutMs = 1;
   const Args rest = withoutTimeout(args, &timeoutMs);
   if (rest.getSize() > 1)
      throw BadCommandLine("ps takes at most one name");
   if (rest.isEmpty()) {
      for (const SxString& name : VoSysEnv::getRunningProcNames())
         std::printf("%s\n", name.utf8());
      return Success;
   }
   const uint64_t pid = VoSysEnv::getProcessID(rest(0), timeoutMs);
   if (pid == VoSysEnv::kProcessNotFound) {
      std::fprintf(stderr, "No process %s found\n", rest(0).utf8());
      return Failure;
   }
   std::printf("%llu\n", static_cast<unsigned long long>(pid));
   return Success;
}

// voutil wait PID|NAME [--timeout MS]
int runWait(const Args& args) {
   uint64_t timeoutMs = 0;
   const Args rest = withoutTimeout(args, &timeoutMs);
   if (rest.getSize() != 1)
      throw BadCommandLine("wait needs one process id or name");
   // A name is looked for as long as the wait may last (a second when that is unlimited).
   if (isNumber(rest(0)))
      VoSysEnv::waitForPID(numberArg(rest(0), "PID"), timeoutMs);
   else
      VoSysEnv::waitForProcess(rest(0), timeoutMs == 0 ? 1000 : timeoutMs, timeoutMs);
   return Success;
}

// voutil kill PID
int runKill(const Args& args) {
   if (args.getSize() != 1)
      throw BadCommandLine("kill needs one process id");
   VoSysEnv::killProcess(numberArg(args(0), "PID"));
   return Success;
}

// voutil bits FILE
int runBits(const Args& args) {
   if (args.getSize() != 1)
      throw BadCommandLine("bits needs one file");
   std::printf("%d\n", VoSysEnv::is64BitApp(args(0)) ? 64 : 32);
   return Success;
}

// voutil link [--dir] LINK TARGET
int runLink(const Args& args) {
   const bool directory = !args.isEmpty() && args(0) == "--dir";
   const std::ptrdiff_t first = directory ? 1 : 0;
   if (args.getSize() - first != 2)
      throw BadCommandLine("link needs a link and a target");
   if (directory)
      VoSysEnv::symLinkDir(args(first), args(first + 1));
   else
      VoSysEnv::symLinkFile(args(first), args(first + 1));
   return Success;
}

// voutil truncate FILE SIZE
int runTruncate(const Args& args) {
   if (args.getSize() != 2)
      throw BadCommandLine("truncate needs a file and a size");
   VoSysEnv::truncateFile(args(0), numberArg(args(1), "SIZE"));
   return Success;
}

// voutil appkey get|set APP [KEY]
int runAppkey(const Args& args) {
   if (args.getSize() == 2 && args(0) == "get") {
      std::printf("%s\n", VoSysEnv::getUserKey(args(1)).utf8());
      return Success;
   }
   if (args.getSize() == 3 && args(0) == "set") {
      VoSysEnv::setUserKey(args(1), args(2));
      return Success;
   }
   throw BadCommandLine("appkey needs 'get APP' or 'set APP KEY'");
}

} // namespace voutil::cli
