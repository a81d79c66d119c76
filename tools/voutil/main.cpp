// voutil: the library's operations on the command line.

#include "Cli.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxTimer.h>
#include <voutil/VoSysEnv.h>
#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

using namespace voutil::cli;

namespace {

constexpr char kConventions[] =
    "\nA FILE of '-' is standard input or standard output; '--' ends the options. Outputs are\n"
    "written beside the target and renamed into place, so a failing verb leaves them as they\n"
    "were. Diagnostics, progress and timings go to standard error.\n"
    "Exit codes: 0 success, 1 failure (reasons on standard error, outermost first),\n"
    "2 malformed command line, 130 stopped by Ctrl-C.\n";

const Verb kVerbs[] = {
    {"log", "[--no-echo] [--tag TAG] FILE MESSAGE...",
     "write MESSAGE (or standard input for '-') to the log FILE, echoed to standard output;\n"
     "      FILE is started anew: what it held before is lost",
     runLog},
    {"paths", "", "print the executable, working, known-folder, data and root directories",
     runPaths},
    {"archive", "7z|un7z|tgz|untgz SOURCE TARGET",
     "7z SRC ARCHIVE, un7z ARCHIVE DIR, tgz SRC ARCHIVE, untgz ARCHIVE DIR: pack or unpack;\n"
     "      7z adds to an existing ARCHIVE; un7z puts every file straight into DIR, without\n"
     "      its folders, and overwrites files of the same name there",
     runArchive},
    {"reg",
     "query KEY VALUE | set KEY VALUE TYPE DATA | delete KEY [VALUE] | mkdir KEY | list KEY |\n"
     "      import-csv CAPTURE DRIVE DIR | apply DIR DRIVE [--admin] | remove DIR [--admin] |\n"
     "      show DIR | export KEY FILE | import FILE | apply DIR DRIVE --to-reg FILE",
     "read, write, remove, create or list registry keys and values (KEY like HKCU/Software/X);\n"
     "      turn a capture into DIR/registry.json, apply or remove its values, or show them;\n"
     "      export a key tree to a .reg file, import one, or write what apply would do as one\n"
     "      (FILE '-' is standard input or output); remove takes no drive: values under a key\n"
     "      that holds the drive placeholder (applied as .../F:) stay; names and data with\n"
     "      control characters are listed with C escapes (\\n, \\t, \\x01)",
     runReg},
    {"base64", "encode|decode IN OUT",
     "encode IN's bytes as one line of Base64 (no line end), or decode IN's Base64 text;\n"
     "      inputs of base64, rsa and caesar are read whole: at most 1 GiB",
     runBase64},
    {"rsa", "keygen BASE | encrypt|decrypt KEYFILE IN OUT [--blocks N]",
     "write a new key pair to BASE.all, BASE.priv and BASE.pub, or RSA-transform IN's 16-bit\n"
     "      (decrypt: 32-bit) blocks with the key of KEYFILE, the first N only (default -1: all)",
     runRsa},
    {"caesar", "encrypt|decrypt KEYFILE IN OUT [--words N]",
     "shift IN's 64-bit words with the key of KEYFILE, the first N only (default: all)", runCaesar},
    {"zstd", "[--level N] [--quiet] [--progress FILE] SRC DST",
     "compress SRC into the zstd file DST (level 1 to 22, 3 unless given)", runZstd},
    {"unzstd", "[--quiet] [--progress FILE] SRC DST",
     "decompress the zstd file SRC into DST; a SRC cut off inside a frame gives the bytes it\n"
     "      holds without an error",
     runUnzstd},
    {"copy", "SRC DST [--range SRCOFF:DSTOFF:N]... [--quiet] [--progress FILE]",
     "copy SRC (or its ranges) into DST and print the MD5 of the copied bytes as md5sum does\n"
     "      (on standard error when DST is '-'); a whole copy makes DST anew, ranges are written\n"
     "      into DST as it is (a failure or Ctrl-C leaves the pieces copied so far); Ctrl-C\n"
     "      stops after the current piece (exit 130)",
     runCopy},
    {"stats", "[--window N]",
     "count, average, sigma, minimum and maximum of the numbers on standard input, one a line\n"
     "      (average and sigma over the last N with --window: at most 10000000, 8 bytes each)",
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

void printVerb(std::FILE* out, const Verb& verb) {
   std::fprintf(out, "  %s %s\n      %s\n", verb.name, verb.usage, verb.summary);
}

void printHelp(std::FILE* out) {
   std::fputs("Usage: voutil [--help] [--version] [--timings] VERB [ARGS...]\n\n"
              "  --timings  print the totals of the timed phases to standard error at exit\n"
              "  The data files are found in VOUTIL_ROOT when set, else where installed.\n\n"
              "Verbs (VERB --help shows one):\n",
              out);
   for (const Verb& v : kVerbs)
      printVerb(out, v);
   std::fputs(kConventions, out);
}

// Whether the verb's arguments ask for its help (before any "--").
bool asksForHelp(int argc, char** argv) {
   for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
      if (std::strcmp(argv[i], "--help") == 0)
         return true;
   return false;
}

// Output that did not reach standard output is a failure of the verb, also for a closed pipe.
bool standardOutputFailed() {
   return std::fflush(stdout) != 0 || std::ferror(stdout);
}

#ifdef _WIN32
// The narrow command line has passed through the ANSI code page, which turns other characters
// into '?': the arguments come from the wide command line. first is where the verb's own begin.
Args verbArguments(int first, int, char**) {
   Args args;
   int count = 0;
   LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
   for (int i = first; wide && i < count; ++i)
      args.append(SxString::fromUtf16(reinterpret_cast<const char16_t*>(wide[i])));
   LocalFree(wide);
   return args;
}
#else
// The text with every byte outside printable ASCII as \xHH, for messages.
std::string escapedBytes(const char* text) {
   std::string shown;
   for (const char* p = text; *p; ++p) {
      const auto byte = static_cast<unsigned char>(*p);
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      shown += byte < 0x20 || byte >= 0x7f ? std::string(hex) : std::string(1, *p);
   }
   return shown;
}

Args verbArguments(int first, int argc, char** argv) {
   Args args;
   for (int i = first; i < argc; ++i) {
      args.append(SxString::fromUtf8(argv[i]));
      // Bytes that are not UTF-8 ride along unchanged; the few sequences that cannot (the
      // encoded forms of the stand-ins for such bytes) could name another file.
      if (args.last().bytes() != argv[i])
         throw BadCommandLine("'" + escapedBytes(argv[i]) +
                              "' is not UTF-8 and cannot be passed on byte for byte");
   }
   return args;
}
#endif

int runVerb(const Verb& verb, int first, int argc, char** argv) {
   try {
      const Args args = verbArguments(first, argc, argv);
      return verb.run(args);
   } catch (const BadCommandLine& e) {
      std::fprintf(stderr, "voutil %s: %s\nUsage: voutil %s %s\n", verb.name, e.what(), verb.name,
                   verb.usage);
      return UsageError;
   } catch (const VerbFailure& e) {
      std::fprintf(stderr, "voutil %s: %s\n", verb.name, e.what());
   } catch (const SxException& e) {
      for (const SxString& message : e.getMessages())
         std::fprintf(stderr, "%s\n", message.bytes().c_str());
   } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "voutil %s: out of memory\n", verb.name);
   } catch (const std::exception& e) {
      std::fprintf(stderr, "voutil %s: %s\n", verb.name, e.what());
   }
   return Failure;
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
#ifndef _WIN32
   // A closed pipe is reported as a write error, not a silent death.
   std::signal(SIGPIPE, SIG_IGN);
#endif
   // The verb's arguments are read from the whole command line: on Windows from its wide form.
   const int allArgc = argc;
   char** const allArgv = argv;
   bool timings = false;
   int verbAt = 1;
   if (argc >= 2 && std::strcmp(argv[1], "--timings") == 0) {
      timings = true;
      --argc;
      ++argv;
      ++verbAt;
   }
   if (timings) {
      // The table must exist before the handler is registered, or it is destroyed before the
      // handler runs. It goes to standard error so that binary output on standard output stays
      // as it is.
      (void)SxTimer::getGlobalTimer();
      std::atexit([] { std::fputs(SxTimer::getGlobalTimer().printout().utf8(), stderr); });
   }
   if (argc < 2) {
      printHelp(stderr);
      return UsageError;
   }
   const Verb* verb = nullptr;
   for (const Verb& candidate : kVerbs)
      if (std::strcmp(argv[1], candidate.name) == 0)
         verb = &candidate;
   int status = UsageError;
   if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
      printHelp(stdout);
      status = Success;
   } else if (std::strcmp(argv[1], "--version") == 0) {
      std::puts("voutil " VOUTIL_VERSION);
      status = Success;
   } else if (!verb) {
      std::fprintf(stderr, "voutil: unknown verb '%s'; see voutil --help\n", argv[1]);
   } else if (asksForHelp(argc, argv)) {
      std::printf("Usage: voutil %s %s\n      %s\n", verb->name, verb->usage, verb->summary);
      status = Success;
   } else {
      setRootDirectory();
      status = runVerb(*verb, verbAt + 1, allArgc, allArgv);
   }
   if (standardOutputFailed()) {
      std::fprintf(stderr, "voutil: write error on standard output: %s\n", std::strerror(errno));
      return status == Success ? Failure : status;
   }
   return status;
}
