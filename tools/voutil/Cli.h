#pragma once

#include <stdexcept>
#include <sx/SxList.h>
#include <sx/SxString.h>

namespace voutil::cli {

/// Exit codes of the tool.
enum ExitCode : int { Success = 0, Failure = 1, UsageError = 2 };

/// Thrown for a malformed command line; the tool prints the text and the verb's usage.
struct BadCommandLine : std::runtime_error {
   using std::runtime_error::runtime_error;
};

using Args = SxList<SxString>;

/// One verb of the tool, such as "log".
struct Verb {
   const char* name;
   const char* usage;   ///< the argument synopsis after the verb
   const char* summary; ///< one line for --help
   int (*run)(const Args& args);
};

int runLog(const Args& args);
int runPaths(const Args& args);
int runArchive(const Args& args);
bool isRegRoadAction(const SxString& action);
int runRegRoad(const Args& args);
bool isRegFileAction(const Args& args);
int runRegFile(const Args& args);
int runReg(const Args& args);
int runBase64(const Args& args);
int runRsa(const Args& args);
int runCaesar(const Args& args);
int runZstd(const Args& args);
int runUnzstd(const Args& args);
int runCopy(const Args& args);
int runStats(const Args& args);
int runSys(const Args& args);
int runPs(const Args& args);
int runWait(const Args& args);
int runKill(const Args& args);
int runBits(const Args& args);
int runLink(const Args& args);
int runTruncate(const Args& args);
int runAppkey(const Args& args);

} // namespace voutil::cli
