// VoSysEnv: progress lines on standard output and in the progress file.

#include "VoLogInternal.h"

#include <cstddef>
#include <cstdio>
#include <sx/SxAtomicFile.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <sx/SxMutex.h>
#include <type_traits>
#include <voutil/VoLog.h>
#include <voutil/VoSysEnv.h>

namespace {

struct Figures {
   double percent;
   uint64_t elapsedSeconds;
};

Figures figures(uint64_t current, uint64_t total, uint64_t startTime) {
   return {static_cast<double>(current) * 100.0 / static_cast<double>(total),
           (VoSysEnv::getSysTime() - startTime) / 1000};
}

// The line format takes its counts as %zd.
using PrintCount = std::make_signed_t<std::size_t>;

} // namespace

void VoSysEnv::printProgress(uint64_t current, uint64_t total, uint64_t startTime,
                             const SxString& tag, const SxString& title) {
   if (total == 0)
      return;
   const Figures f = figures(current, total, startTime);
   const SxString line =
       SxString::sprintf("%-40s %-10s %12zd %12zd %6.2lf%% %6zd s", title.utf8(), tag.utf8(),
                         static_cast<PrintCount>(current), static_cast<PrintCount>(total),
                         f.percent, static_cast<PrintCount>(f.elapsedSeconds));
   std::fputs("\r", stdout);
   std::fputs(line.utf8(), stdout);
   std::fputs("\r", stdout);
   if (current == total)
      std::fputs("\n", stdout);
   std::fflush(stdout);
}

void VoSysEnv::logProgress(uint64_t current, uint64_t total, uint64_t startTime,
                           const SxString& tag, const SxString& title) {
   if (total == 0)
      return;
   const Figures f = figures(current, total, startTime);
   const SxString text =
       title + " " + tag + " " + SxString(static_cast<unsigned long long>(current)) + " " +
       SxString(static_cast<unsigned long long>(total)) + " " + SxString(f.percent) + " " +
       SxString(static_cast<unsigned long long>(f.elapsedSeconds)) + "\n";
   try {
      const SxString path = getDataPath() + "progress";
      if (vo::detail::isLogFile(path))
         throw SxException("The progress file " + path + " is the log file", "src/util/VoSysEnv");
      // Replaced whole, so that a reader never meets half a line.
      SxAtomicFile file(path, 0600);
      file.write(text, -1);
      file.commit();
   } catch (const SxException& e) {
      voLogMsg("util", "Cannot log progress: " + e.toString(0, "\n"));
   }
}
