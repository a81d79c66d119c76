// A program outside the tree that uses the installed library: its headers compile, its libraries
// link, and an exception raised inside them is caught here.

#include <cstdio>
#include <voutil/voutil.h>

int main(int argc, char** argv) {
   if (argc != 2) {
      std::fprintf(stderr, "usage: consumer LOGFILE\n");
      return 2;
   }
   {
      VoLog log(argv[1]);
      log.disableLogToStdOut();
      voLogMsg("util", "installed");
   }
   SxFileIO in;
   in.open(argv[1], "rb");
   const bool logged = in.readUtf8().contains("[util] : installed\n");
   bool raised = false;
   try {
      (void)VoRegistry::Item::string2Type("reg_sz");
   } catch (const SxException& e) {
      raised = e.getMessage() == "Unknown Registry Value Type: reg_sz";
   }
   if (logged && raised)
      return std::puts("consumer: all checks passed") < 0;
   std::fprintf(stderr, "consumer: the %s check failed\n", logged ? "exception" : "log");
   return 1;
}
