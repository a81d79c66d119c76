// The progress line and progress file of the long-running verbs.

#include "Progress.h"

#include <cstdio>
#include <sx/SxFileIO.h>
#include <voutil/VoSysEnv.h>

#ifdef _WIN32
#include <io.h>
#define VOUTIL_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define VOUTIL_ISATTY(f) isatty(fileno(f))
#endif

namespace voutil::cli {

namespace {
constexpr uint64_t kUpdateEveryMs = 100;
constexpr int kBarWidth = 30;

double percentOf(uint64_t current, uint64_t total) {
   return total == 0 ? 100.0 : static_cast<double>(current) * 100.0 / static_cast<double>(total);
}

double mebibytes(uint64_t bytes) {
   return static_cast<double>(bytes) / (1024.0 * 1024.0);
}
} // namespace

ProgressOptions ProgressOptions::from(const CommandLine& line) {
   ProgressOptions options;
   options.quiet = line.has("--quiet");
   if (const SxString* file = line.value("--progress")) {
      requireWritableFileName(*file);
      options.file = *file;
   }
   return options;
}

Progress::Progress(const ProgressOptions& options, const SxString& title, const SxString& tag)
    : options_(options), title_(title), tag_(tag), bar_(!options.quiet && VOUTIL_ISATTY(stderr)),
      startTime_(VoSysEnv::getSysTime()) {}

void Progress::show(uint64_t current, uint64_t total, bool final) {
   const uint64_t now = VoSysEnv::getSysTime();
   if (!final && now - lastShown_ < kUpdateEveryMs)
      return;
   lastShown_ = now;
   if (bar_)
      drawBar(current, total);
   if (!options_.file.isEmpty())
      writeFile(current, total);
}

void Progress::finish() {
   if (drawn_)
      std::fputc('\n', stderr);
   drawn_ = false;
}

void Progress::drawBar(uint64_t current, uint64_t total) {
   const double percent = percentOf(current, total);
   const int filled = percent >= 100.0 ? kBarWidth : static_cast<int>(percent * kBarWidth / 100.0);
   std::fprintf(stderr, "\r%s [%.*s%.*s] %6.2f%%  %.1f of %.1f MiB ", title_.bytes().c_str(),
                filled, "##############################", kBarWidth - filled,
                "------------------------------", percent, mebibytes(current), mebibytes(total));
   std::fflush(stderr);
   drawn_ = true;
}

// A progress file that cannot be written must not end the work it reports on: the failure is
// told once and the file is given up.
void Progress::writeFile(uint64_t current, uint64_t total) {
   const SxString line =
       title_ + " " + tag_ + " " + SxString(static_cast<unsigned long long>(current)) + " " +
       SxString(static_cast<unsigned long long>(total)) + " " +
       SxString(percentOf(current, total)) + " " +
       SxString(static_cast<unsigned long long>((VoSysEnv::getSysTime() - startTime_) / 1000)) +
       "\n";
   try {
      SxFileIO file;
      file.open(options_.file, "wb", 0600);
      file.write(line, -1);
      file.close();
   } catch (const SxException& e) {
      finish();
      std::fprintf(stderr, "Cannot write progress: %s\n", e.toString(0, ": ").utf8());
      options_.file = SxString();
   }
}

} // namespace voutil::cli
