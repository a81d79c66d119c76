// voutil zstd and unzstd: single-file compression.

#include "Progress.h"

#include <sx/SxException.h>
#include <voutil/VoArchive.h>

namespace voutil::cli {

namespace {

// zstd's own range of levels with a ratio to them (0 would mean its default).
constexpr int64_t kMinLevel = 1;
constexpr int64_t kMaxLevel = 22;

// The options of zstd and unzstd, then exactly two paths.
struct ZstdCommand {
   ProgressOptions progress;
   int level = 3;
   SxString source;
   SxString destination;
};

ZstdCommand parse(const Args& args, bool takesLevel) {
   ZstdCommand command;
   const CommandLine line =
       takesLevel ? CommandLine(args, {{"--level", true}, {"--quiet", false}, {"--progress", true}})
                  : CommandLine(args, {{"--quiet", false}, {"--progress", true}});
   command.progress = ProgressOptions::from(line);
   if (const SxString* level = line.value("--level"))
      command.level = static_cast<int>(parseUnsigned(*level, "--level", kMinLevel, kMaxLevel));
   if (line.operands().getSize() != 2)
      throw BadCommandLine("needs a source and a destination");
   command.source = line.operands()(0);
   command.destination = line.operands()(1);
   return command;
}

using Operation = void (*)(const ZstdCommand&, const SxString& source, const SxString& target,
                           const VoArchive::ReadProgress& onRead);

// Runs the operation from the command's source to its destination, with a progress display
// and Ctrl-C ending it cleanly. The library writes its destination in place; the verb makes the
// output anew, so that a failure or Ctrl-C leaves an existing destination as it was and no partial
// new one.
int run(const ZstdCommand& command, const char* tag, Operation operation) {
   FilePair files(command.source, command.destination, true);
   requireDistinct(command.progress.file, command.source);
   requireDistinct(command.progress.file, command.destination);
   Progress progress(command.progress, command.source, tag);
   const InterruptCatcher interrupt;
   try {
      operation(command, files.input(), files.output(), [&](uint64_t read, uint64_t size) {
         if (InterruptCatcher::caught())
            throw SxException("Stopped by Ctrl-C", "tools/voutil/ZstdVerbs");
         progress.show(read, size, read == size);
      });
   } catch (const SxException& e) {
      progress.finish();
      if (InterruptCatcher::caught()) {
         std::fprintf(stderr, "voutil %s: stopped by Ctrl-C\n", tag);
         return Interrupted;
      }
      // The library names the temporary file that standard input was put in.
      if (command.source == "-")
         throw SxException(e, SxString("voutil ") + tag + ": failed on standard input",
                           "tools/voutil/ZstdVerbs");
      throw;
   }
   progress.finish();
   files.finish();
   return Success;
}

} // namespace

// voutil zstd [--level N] [--quiet] [--progress FILE] SRC DST
int runZstd(const Args& args) {
   return run(parse(args, true), "zstd",
              [](const ZstdCommand& command, const SxString& source, const SxString& target,
                 const VoArchive::ReadProgress& onRead) {
                 VoArchive::compressZSTD(source, target, command.level, onRead);
              });
}

// voutil unzstd [--quiet] [--progress FILE] SRC DST
int runUnzstd(const Args& args) {
   return run(parse(args, false), "unzstd",
              [](const ZstdCommand&, const SxString& source, const SxString& target,
                 const VoArchive::ReadProgress& onRead) {
                 VoArchive::extractZSTD(source, target, onRead);
              });
}

} // namespace voutil::cli
