// voutil copy: byte ranges copied with their MD5, stopped cleanly by Ctrl-C.

#include "Progress.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <voutil/VoCopyTask.h>

namespace voutil::cli {

namespace {

constexpr int kInterruptedExit = 130; // 128 + SIGINT, as shells report it

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
   interrupted = 1;
}

VoFileCopyTask::Range parseRange(const SxString& text) {
   const SxList<SxString> fields = text.tokenize(":", true);
   bool bad = fields.getSize() != 3;
   uint64_t values[3] = {};
   for (std::ptrdiff_t i = 0; !bad && i < 3; ++i) {
      bool error = false;
      values[i] = fields(i).toNumber<uint64_t>(&error);
      bad = error;
   }
   if (bad)
      throw BadCommandLine("a range is SRCOFF:DSTOFF:N in bytes, not '" + text.str() + "'");
   return {values[0], values[1], values[2]};
}

// The whole source, or nothing when it is missing (the task reports that).
SxArray<VoFileCopyTask::Range> wholeFile(const SxString& source) {
   if (!SxFSAction::test_f(source))
      return {};
   SxFileIO file;
   file.open(source, "rb");
   return {{0, 0, static_cast<uint64_t>(file.getSize())}};
}

} // namespace

// voutil copy SRC DST [--range SRCOFF:DSTOFF:N]... [--quiet] [--progress FILE]
int runCopy(const Args& args) {
   ProgressOptions options;
   SxArray<VoFileCopyTask::Range> ranges;
   SxList<SxString> paths;
   for (std::ptrdiff_t i = 0; i < args.getSize(); ++i) {
      if (options.take(args, i))
         continue;
      if (args(i) == "--range" && i + 1 < args.getSize())
         ranges.append(parseRange(args(++i)));
      else if (args(i).str().starts_with("--"))
         throw BadCommandLine("unknown option " + args(i).str());
      else
         paths.append(args(i));
   }
   if (paths.getSize() != 2)
      throw BadCommandLine("copy needs a source and a destination");
   const SxString& source = paths(0);
   if (ranges.isEmpty())
      ranges = wholeFile(source);

   VoFileCopyTask task(source, paths(1), ranges);
   Progress progress(options, source, "copy");
   // Ctrl-C asks the task to stop; it ends after the piece it is copying.
   interrupted = 0;
   const auto previous = std::signal(SIGINT, onInterrupt);
   task.start();
   std::future<void> finished;
   try {
      finished = std::async(std::launch::async, [&] { task.wait(); });
      while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
         if (interrupted)
            task.stop();
         progress.show(task.getNCurrent(), task.getNTotal());
      }
   } catch (...) {
      // The copy's thread uses task: it is stopped and joined before task goes away.
      task.stop();
      if (finished.valid())
         finished.wait();
      else
         try {
            task.wait();
         } catch (...) {
         }
      throw;
   }
   std::signal(SIGINT, previous);
   progress.show(task.getNCurrent(), task.getNTotal(), true);
   progress.finish();
   finished.get(); // raises the task's failure
   if (task.stopRequested()) {
      std::fprintf(stderr, "voutil copy: stopped after %llu of %llu bytes\n", task.getNCurrent(),
                   task.getNTotal());
      return kInterruptedExit;
   }
   std::printf("%s  %s\n", task.getMD5().get().utf8(), source.utf8());
   return Success;
}

} // namespace voutil::cli
