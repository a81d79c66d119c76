#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <utility>
#include <vector>

namespace voutil::cli {

/// Exit codes of the tool.
enum ExitCode : int { Success = 0, Failure = 1, UsageError = 2, Interrupted = 130 };

/// Thrown for a malformed command line; the tool prints the text and the verb's usage.
struct BadCommandLine : std::runtime_error {
   using std::runtime_error::runtime_error;
};

/// Thrown when the tool itself refuses or fails (not the library): the tool prints
/// "voutil VERB: " and the text, and exits 1.
struct VerbFailure : std::runtime_error {
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

/// An option a verb takes: "--name" alone, or "--name VALUE".
struct Option {
   const char* name;
   bool takesValue;
};

/// A verb's arguments split into its options and its operands. "--" ends the options, "-" is
/// an operand; an unknown option, or one without its value, is a BadCommandLine. With
/// optionsFirst the first operand ends the options too (for free text such as log messages).
class CommandLine {
public:
   CommandLine(const Args& args, std::initializer_list<Option> options, bool optionsFirst = false);

   [[nodiscard]] bool has(std::string_view name) const;
   /// The value of the last "--name VALUE", or nullptr when the option was not given.
   [[nodiscard]] const SxString* value(std::string_view name) const;
   /// The values of every "--name VALUE", in order.
   [[nodiscard]] SxList<SxString> values(std::string_view name) const;
   [[nodiscard]] const Args& operands() const { return operands_; }

private:
   std::vector<std::pair<std::string, SxString>> given_;
   Args operands_;
};

/// The whole of text as a decimal number from min to max (no sign for min 0, no blanks, no
/// junk), or a BadCommandLine that names what was expected.
uint64_t parseUnsigned(const SxString& text, const std::string& what, uint64_t min, uint64_t max);
int64_t parseSigned(const SxString& text, const std::string& what, int64_t min, int64_t max);

/// The kinds of path a verb may be handed. A regular file is what most verbs want; the others
/// get a message that names them.
enum class PathKind { Missing, Regular, Directory, Fifo, CharDevice, BlockDevice, Socket, Other };
PathKind pathKind(const SxString& path);
/// The file system's path for a name given as text.
std::filesystem::path fsPath(const SxString& path);
/// The size of the file at path (links followed), or nothing when it cannot be told.
std::optional<uint64_t> fileSize(const SxString& path);
/// "a directory", "a FIFO", ... for messages.
const char* describe(PathKind kind);

/// Raises VerbFailure unless path is an existing regular file (links followed); the message
/// says what it is instead.
void requireRegularFile(const SxString& path);
/// Raises VerbFailure when path exists and is not a regular file, since writing to it would
/// not make a file of it.
void requireWritableFileName(const SxString& path);

/// Raises VerbFailure when a and b name one file (through links, too), checked before anything
/// is opened for writing: an output must never destroy an input.
void requireDistinct(const SxString& a, const SxString& b);

/// The standard stream, switched to carry bytes unchanged (on Windows).
std::FILE* binary(std::FILE* stream);

/// While it lives, Ctrl-C only sets a flag that the verb looks at between pieces of work, so
/// that it can stop cleanly and exit 130.
class InterruptCatcher {
public:
   InterruptCatcher();
   ~InterruptCatcher();
   InterruptCatcher(const InterruptCatcher&) = delete;
   InterruptCatcher& operator=(const InterruptCatcher&) = delete;

   [[nodiscard]] static bool caught();

private:
   void (*previous_)(int);
};

/// A file of the tool's own in the temporary directory, removed with the object: where
/// standard input is put for verbs that read a named file, and where output for standard
/// output is made before it is sent.
class SpoolFile {
public:
   SpoolFile();
   ~SpoolFile();
   SpoolFile(const SpoolFile&) = delete;
   SpoolFile& operator=(const SpoolFile&) = delete;

   [[nodiscard]] const SxString& path() const { return path_; }
   /// Fills the file with all of standard input.
   void fillFromStandardInput();
   /// Sends the file's bytes to standard output.
   void sendToStandardOutput() const;
   /// Puts the file's bytes in target's place in one step: target is left as it was when
   /// that fails.
   void replace(const SxString& target) const;

private:
   SxString path_;
};

/// A verb's input and output files, checked before anything is written: the input a regular
/// file, the output not a directory, device or FIFO, and not the input. A "-" goes through a
/// spool file, since the library reads and writes named files.
///
/// With freshOutput the output is made anew even where the library would write into an existing
/// file: an existing output is replaced only by finish(), and one that the verb creates is
/// removed again unless finish() is reached.
class FilePair {
public:
   FilePair(const SxString& input, const SxString& output, bool freshOutput = false);
   ~FilePair();
   FilePair(const FilePair&) = delete;
   FilePair& operator=(const FilePair&) = delete;

   /// The names to hand the library.
   [[nodiscard]] const SxString& input() const { return input_; }
   [[nodiscard]] const SxString& output() const { return output_; }
   [[nodiscard]] bool outputIsStandardOutput() const {
      return outputSpool_.has_value() && replaced_.isEmpty();
   }
   /// Completes the output once the work has succeeded: a spooled one goes to standard output
   /// or in the place of the file it replaces.
   void finish();

private:
   std::optional<SpoolFile> inputSpool_;
   std::optional<SpoolFile> outputSpool_;
   SxString input_;
   SxString output_;
   SxString replaced_; ///< the existing file that a spooled output replaces
   bool createdOutput_ = false;
   bool finished_ = false;
};

/// text with its control characters as C escapes ("\\n", "\\x01"), so that a name holding
/// one cannot make a line of a listing look like another entry.
SxString escapeControls(const SxString& text);

int runLog(const Args& args);
int runPaths(const Args& args);
int runArchive(const Args& args);
bool isRegRoadAction(const SxString& action);
int runRegRoad(const Args& args, bool admin);
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
