// voutil zstd and unzstd: single-file compression.

#include "Progress.h"

#include <voutil/VoArchive.h>

namespace voutil::cli {

namespace {

// The options of zstd and unzstd, then exactly two paths.
struct ZstdCommand {
   ProgressOptions progress;
   int level = 3;
   SxString source;
   SxString destination;
};

ZstdCommand parse(const Args& args, bool takesLevel) {
   ZstdCommand command;
   SxList<SxString> paths;
   for (std::ptrdiff_t i = 0; i < args.getSize(); ++i) {
      if (command.progress.take(args, i))
         continue;
      if (takesLevel && args(i) == "--level" && i + 1 < args.getSize()) {
         bool error = false;
         command.level = args(++i).toNumber<int>(&error);
         if (error)
            throw BadCommandLine("--level needs a whole number, not '" + args(i).str() + "'");
      } else if (args(i).str().starts_with("--")) {
         throw BadCommandLine("unknown option " + args(i).str());
      } else {
         paths.append(args(i));
      }
   }
   if (paths.getSize() != 2)
      throw BadCommandLine("needs a source and a destination");
   command.source = paths(0);
   command.destination = paths(1);
   return command;
}

} // namespace

// voutil zstd [--level N] [--quiet] [--progress FILE] SRC DST
int runZstd(const Args& args) {
   const ZstdCommand command = parse(args, true);
   Progress progress(command.progress, command.source, "zstd");
   VoArchive::compressZSTD(
       command.source, command.destination, command.level,
       [&](uint64_t read, uint64_t size) { progress.show(read, size, read == size); });
   progress.finish();
   return Success;
}

// voutil unzstd [--quiet] [--progress FILE] SRC DST
int runUnzstd(const Args& args) {
   const ZstdCommand command = parse(args, false);
   Progress progress(command.progress, command.source, "unzstd");
   VoArchive::extractZSTD(command.source, command.destination, [&](uint64_t read, uint64_t size) {
      progress.show(read, size, read == size);
   });
   progress.finish();
   return Success;
}

} // namespace voutil::cli
