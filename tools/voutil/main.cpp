// voutil: the library's operations on the command line.

#include "Cli.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxTimer.h>
#include <voutil/VoSysEnv.h>

using namespace voutil::cli;

namespace {

const Verb kVerbs[] = {
    {"log", "[--no-echo] [--tag TAG] FILE MESSAGE...",
     "write MESSAGE (or standard input for '-') to the log FILE, echoed to standard output",
     runLog},
    {"paths", "", "print the executable, working, known-folder, data and root directories",
     runPaths},
    {"archive", "7z|un7z|tgz|untgz SOURCE TARGET",
     "7z SRC ARCHIVE, un7z ARCHIVE DIR, tgz SRC ARCHIVE, untgz ARCHIVE DIR: pack or unpack",
     runArchive},
    {"reg",
     "query KEY VALUE | set KEY VALUE TYPE DATA | delete KEY [VALUE] | mkdir KEY | list KEY |\n"
     "      import-csv CAPTURE DRIVE DIR | apply DIR DRIVE [--admin] | remove DIR [--admin] |\n"
     "      show DIR | export KEY FILE | import FILE | apply DIR DRIVE --to-reg FILE",
     "read, write, remove, create or list registry keys and values (KEY like HKCU/Software/X);\n"
     "      turn a capture into DIR/registry.json, apply or remove its values, or show them;\n"
     "      export a key tree to a .reg file, import one, or write what apply would do as one\n"
     "      (FILE '-' is standard input or output)",
     runReg},
    {"base64", "encode|decode IN OUT",
     "encode IN's bytes as one line of Base64 (no line end), or decode IN's Base64 text;\n"
     "      FILE '-' is standard input or output",
     runBase64},
    {"rsa", "keygen BASE | encrypt|decrypt KEYFILE IN OUT [--blocks N]",
     "write a new key pair to BASE.all, BASE.priv and BASE.pub, or RSA-transform IN's 16-bit\n"
     "      (decrypt: 32-bit) blocks with the key of KEYFILE, the first N only (default -1: all)",
     runRsa},
    {"caesar", "encrypt|decrypt KEYFILE IN OUT [--words N]",
     "shift IN's 64-bit words with the key of KEYFILE, the first N only (default: all)", runCaesar},
    {"zstd", "[--level N] [--quiet] [--progress FILE] SRC DST",
     "compress SRC into the zstd file DST (level 3 unless given)", runZstd},
    {"unzstd", "[--quiet] [--progress FILE] SRC DST", "decompress the zstd file SRC into DST",
     runUnzstd},
    {"copy", "SRC DST [--range SRCOFF:DSTOFF:N]... [--quiet] [--progress FILE]",
     "copy SRC (or its ranges) into DST and print the MD5 of the copied bytes as md5sum does;\n"
     "      Ctrl-C stops after the current piece (exit 130)",
     runCopy},
    {"stats", "[--window N]",
     "count, average, sigma, minimum and maximum of the numbers on standard input, one a line\n"
     "      (average and sigma over the last N with --window)",
     runStats},
    {"sys", "",
     "print the clock, time stamp, host, user, adapters, free space, elevation, processors",
     runSys},
    {"ps", "[NAME] [--timeout MS]",
     "list the running executables, or print the process id of NAME (looking up to MS ms)", runPs},
    {"wait", "PID|NAME [--timeout MS]", "wait for a process to end (at most MS ms; 0: no limit)",
     runWait},
    {"kill", "PID", "end a process", runKill},
    {"bits", "FILE", "print 64 or 32: the bit width of a Windows executable", runBits},
    {"link", "[--dir] LINK TARGET", "make the symbolic link LINK pointing to TARGET", runLink},
    {"truncate", "FILE SIZE", "set the length of an existing file", runTruncate},
    {"appkey", "get|set APP [KEY]", "read or store the user key of an application", runAppkey},
};

void printHelp(std::FILE* out) {
   std::fputs("Usage: voutil [--help] [--version] [--timings] VERB [ARGS...]\n\n"
              "  --timings  print the totals of the timed phases at exit\n"
              "  The data files are found in VOUTIL_ROOT when set, else where installed.\n\n"
              "Verbs:\n",
              out);
   for (const Verb& v : kVerbs)
      std::fprintf(out, "  %s %s\n      %s\n", v.name, v.usage, v.summary);
   std::fputs("\nExit codes: 0 success, 1 failure (reasons on standard error, outermost first),\n"
              "2 malformed command line.\n",
              out);
}

// The root directory holds the data files (schema, 7-Zip). An installed tool finds them in the
// data directory relative to its own (share/voutil on POSIX); in the build tree, and on Windows,
// they lie beside it, which is the library's own default. VOUTIL_ROOT names another root.
void setRootDirectory() {
   if (const char* root = std::getenv("VOUTIL_ROOT"); root && *root) {
      VoSysEnv::setRTERootDir(SxString::fromUtf8(root));
      return;
   }
   std::string dir = VoSysEnv::getExecPath().str();
   std::string_view relative = VOUTIL_DATADIR_FROM_BINDIR;
   if (relative == ".")
      return;
   for (; relative.starts_with("../"); relative.remove_prefix(3))
      dir.erase(std::min(dir.size(), dir.rfind('/')));
   const SxString installed = SxString::fromUtf8((dir + "/").append(relative).c_str());
   if (SxFSAction::test_d(installed))
      VoSysEnv::setRTERootDir(installed);
}

} // namespace

int main(int argc, char** argv) {
   bool timings = false;
   if (argc >= 2 && std::strcmp(argv[1], "--timings") == 0) {
      timings = true;
      --argc;
      ++argv;
   }
   if (timings) {
      // The table must exist before the handler is registered, or it is destroyed before the
      // handler runs.
      (void)SxTimer::getGlobalTimer();
      std::atexit([] { std::fputs(SxTimer::getGlobalTimer().printout().utf8(), stdout); });
   }
   if (argc < 2) {
      printHelp(stderr);
      return UsageError;
   }
   if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
      printHelp(stdout);
      return Success;
   }
   if (std::strcmp(argv[1], "--version") == 0) {
      std::puts("voutil " VOUTIL_VERSION);
      return Success;
   }
   setRootDirectory();
   for (const Verb& verb : kVerbs) {
      if (std::strcmp(argv[1], verb.name) != 0)
         continue;
      Args args;
      for (int i = 2; i < argc; ++i)
         args.append(SxString::fromUtf8(argv[i]));
      try {
         return verb.run(args);
      } catch (const BadCommandLine& e) {
         std::fprintf(stderr, "voutil %s: %s\nUsage: voutil %s %s\n", verb.name, e.what(),
                      verb.name, verb.usage);
         return UsageError;
      } catch (const SxException& e) {
         for (const SxString& message : e.getMessages())
            std::fprintf(stderr, "%s\n", message.utf8());
         return Failure;
      }
   }
   std::fprintf(stderr, "voutil: unknown verb '%s'; see voutil --help\n", argv[1]);
   return UsageError;
}
