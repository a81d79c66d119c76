// voutil stats: running averages of numbers read from standard input.

#include "Cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sx/SxException.h>
#include <voutil/VoAvg.h>

namespace voutil::cli {

namespace {

constexpr char kSource[] = "tools/voutil/StatsVerb";
// The window is held in memory, 8 bytes a value: at most 80 MB.
constexpr uint64_t kMaxWindow = 10'000'000;
// No number is longer; what follows on a longer line is not kept.
constexpr std::size_t kMaxLineBytes = 4096;

bool isBlank(const std::string& line) {
   return line.find_first_not_of(" \t\r") == std::string::npos;
}

// The whole line must be one finite number, blanks around it allowed.
bool readNumber(const std::string& line, double& value) {
   if (line.find('\0') != std::string::npos)
      return false;
   const char* begin = line.c_str();
   char* end = nullptr;
   value = std::strtod(begin, &end);
   if (end == begin || !std::isfinite(value))
      return false;
   return isBlank(end);
}

// Reads the next line of standard input into line, without its line end; false at the end.
// A line longer than any number ends the reading there (tooLong), so that no input, endless
// or not, can take all memory or time.
bool readLine(std::string& line, bool& tooLong) {
   line.clear();
   tooLong = false;
   for (int c; (c = std::getc(stdin)) != EOF;) {
      if (c == '\n')
         return true;
      line += static_cast<char>(c);
      if (line.size() > kMaxLineBytes) {
         tooLong = true;
         return true;
      }
   }
   if (std::ferror(stdin))
      throw VerbFailure(std::string("cannot read standard input: ") + std::strerror(errno));
   return !line.empty();
}

} // namespace

// voutil stats [--window N] < numbers
int runStats(const Args& args) {
   const CommandLine line(args, {{"--window", true}});
   if (!line.operands().isEmpty())
      throw BadCommandLine("stats reads standard input and takes no operands");
   const SxString* windowText = line.value("--window");
   const auto window = static_cast<unsigned>(
       windowText ? parseUnsigned(*windowText, "--window", 0, kMaxWindow) : 0);
   VoAvg avg(window);
   unsigned long long count = 0;
   std::string text;
   bool tooLong = false;
   for (long long lineNumber = 1; readLine(text, tooLong); ++lineNumber) {
      if (isBlank(text))
         continue;
      double value = 0.0;
      if (tooLong || !readNumber(text, value))
         throw SxException("Line " + SxString(lineNumber) + " is not a number: " +
                               SxString(std::string_view(text).substr(0, kMaxLineBytes)) +
                               (tooLong ? "..." : ""),
                           kSource);
      avg.update(value);
      ++count;
   }
   std::printf("count %llu\naverage %s\nsigma %s\nminimum %s\nmaximum %s\n", count,
               SxString(avg.getAverage()).utf8(), SxString(avg.getSigma()).utf8(),
               SxString(avg.getMin()).utf8(), SxString(avg.getMax()).utf8());
   return Success;
}

} // namespace voutil::cli
