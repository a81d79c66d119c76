// A program outside the tree that uses the installed library: its headers compile, its libraries
// link, exceptions raised inside them are caught here, and texts they allocate are freed here.
// On Windows each of those libraries is a DLL of its own.

#include <cstdio>
#include <functional>
#include <sx/SxRegex.h>
#include <voutil/voutil.h>

namespace {

// The message of the SxException that action raises, or "(none)".
SxString raised(const std::function<void()>& action) {
   try {
      action();
   } catch (const SxException& e) {
      return e.getMessage();
   }
   return "(none)";
}

} // namespace

int main(int argc, char** argv) {
   if (argc != 2) {
      std::fprintf(stderr, "usage: consumer LOGFILE\n");
      return 2;
   }
   const SxString logFile = SxString::fromUtf8(argv[1]);
   {
      VoLog log(logFile);
      log.disableLogToStdOut();
      voLogMsg("util", "installed");
   }
   SxFileIO in;
   in.open(logFile, "rb");
   // Built in sxfs and in voutil, grown and freed here.
   SxString text = in.readUtf8() + VoSysEnv::getExecName();
   text += SxString::sprintf("%d", 42);

   const struct {
      const char* what;
      bool passed;
   } checks[] = {
       {"log", text.contains("[util] : installed\n") && text.contains("42")},
       {"exception raised in voutil", raised([] {
                                         (void)VoRegistry::Item::string2Type("reg_sz");
                                      }) == "Unknown Registry Value Type: reg_sz"},
       {"exception raised in sxutil", raised([] { SxRegex open("(", ""); }).contains("'('")},
       {"exception raised in sxfs, through voutil",
        raised([&] { VoLog nowhere(logFile + "/not-a-directory/log"); }).contains("Can't open")},
   };
   int failures = 0;
   for (const auto& check : checks)
      if (!check.passed && ++failures)
         std::fprintf(stderr, "consumer: the check '%s' failed\n", check.what);
   if (failures == 0)
      return std::puts("consumer: all checks passed") < 0;
   return 1;
}
