// voutil copy: byte ranges copied with their MD5, stopped cleanly by Ctrl-C.

#include "Progress.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <limits>
#include <string>
#include <voutil/VoCopyTask.h>

namespace voutil::cli {

namespace {

VoFileCopyTask::Range parseRange(const SxString& text) {
   const SxList<SxString> fields = text.tokenize(":", true);
   if (fields.getSize() != 3)
      throw BadCommandLine("a range is SRCOFF:DSTOFF:N in bytes, not '" + text.str() + "'");
   constexpr uint64_t kMax = std::numeric_limits<int64_t>::max();
   const uint64_t source = parseUnsigned(fields(0), "SRCOFF of a range", 0, kMax);
   const uint64_t destination = parseUnsigned(fields(1), "DSTOFF of a range", 0, kMax);
   const uint64_t length = parseUnsigned(fields(2), "N of a range", 0, kMax);
   if (length > kMax - destination)
      throw BadCommandLine("the range '" + text.str() + "' ends past the largest file offset");
   return {source, destination, length};
}

// Every range must lie inside the source: the task would otherwise write what it never read.
void requireInside(const SxArray<VoFileCopyTask::Range>& ranges, const SxString& source,
                   uint64_t size) {
   for (const VoFileCopyTask::Range& range : ranges)
      if (range.srcOffset > size || range.nBytes > size - range.srcOffset)
         throw VerbFailure("the range " + std::to_string(range.srcOffset) + ":" +
                           std::to_string(range.destOffset) + ":" + std::to_string(range.nBytes) +
                           " reaches past the end of " + source.str() + " (" +
                           std::to_string(size) + " bytes)");
}

} // namespace

// voutil copy SRC DST [--range SRCOFF:DSTOFF:N]... [--quiet] [--progress FILE]
int runCopy(const Args& args) {
   const CommandLine line(args, {{"--range", true}, {"--quiet", false}, {"--progress", true}});
   const ProgressOptions options = ProgressOptions::from(line);
   SxArray<VoFileCopyTask::Range> ranges;
   for (const SxString& range : line.values("--range"))
      ranges.append(parseRange(range));
   if (line.operands().getSize() != 2)
      throw BadCommandLine("copy needs a source and a destination");
   const SxString& sourceName = line.operands()(0);
   const SxString& destinationName = line.operands()(1);
   const bool patching = !ranges.isEmpty();
   if (patching && (sourceName == "-" || destinationName == "-"))
      throw BadCommandLine("ranges are copied between named files, not standard input or output");

   // A whole copy makes a fresh destination; ranges patch the one there is.
   FilePair files(sourceName, destinationName, !patching);
   requireDistinct(options.file, sourceName);
   requireDistinct(options.file, destinationName);
   const uint64_t size = fileSize(files.input()).value_or(0);
   if (patching)
      requireInside(ranges, sourceName, size);
   else
      ranges = {{0, 0, size}};

   VoFileCopyTask task(files.input(), files.output(), ranges);
   Progress progress(options, sourceName, "copy");
   {
      // Ctrl-C asks the task to stop; it ends after the piece it is copying.
      const InterruptCatcher interrupt;
      task.start();
      std::future<void> finished;
      try {
         finished = std::async(std::launch::async, [&] { task.wait(); });
         while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            if (InterruptCatcher::caught())
               task.stop();
            progress.show(task.getNCurrent(), task.getNTotal());
         }
         progress.show(task.getNCurrent(), task.getNTotal(), true);
         progress.finish();
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
      finished.get(); // raises the task's failure
   }
   if (task.stopRequested()) {
      std::fprintf(stderr, "voutil copy: stopped after %llu of %llu bytes\n", task.getNCurrent(),
                   task.getNTotal());
      return Interrupted;
   }
   // With the copy on standard output, its digest goes where it cannot mix with the bytes.
   std::FILE* digestStream = files.outputIsStandardOutput() ? stderr : stdout;
   files.finish();
   std::fprintf(digestStream, "%s  %s\n", task.getMD5().get().utf8(), sourceName.bytes().c_str());
   return Success;
}

} // namespace voutil::cli
