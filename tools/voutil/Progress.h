#pragma once

#include "Cli.h"

#include <cstdint>

namespace voutil::cli {

/// The progress options that long verbs share: "--quiet" (no bar) and "--progress FILE".
struct ProgressOptions {
   bool quiet = false;
   SxString file;

   /// The two options as given on the command line; a progress file that is not one, such
   /// as a directory, is refused.
   static ProgressOptions from(const CommandLine& line);
};

/// Shows how far a verb has come: a bar on standard error when that is a terminal and the verb
/// is not quiet, and with a progress file, the latest line "title tag current total percent
/// seconds" in it (replaced on each update, as the library's progress file is).
class Progress {
public:
   Progress(const ProgressOptions& options, const SxString& title, const SxString& tag);

   /// Shows current of total. Updates come at most ten times a second unless final is set.
   void show(uint64_t current, uint64_t total, bool final = false);
   /// Ends the bar's line, so that later messages start on a line of their own.
   void finish();

private:
   void drawBar(uint64_t current, uint64_t total);
   void writeFile(uint64_t current, uint64_t total);

   ProgressOptions options_;
   SxString title_;
   SxString tag_;
   bool bar_;
   bool drawn_ = false;
   uint64_t startTime_;
   uint64_t lastShown_ = 0;
};

} // namespace voutil::cli
