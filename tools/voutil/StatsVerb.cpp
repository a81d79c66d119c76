// voutil stats: running averages of numbers read from standard input.

#include "Cli.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <sx/SxException.h>
#include <voutil/VoAvg.h>

namespace voutil::cli {

namespace {

constexpr char kSource[] = "tools/voutil/StatsVerb";

bool isBlank(const std::string& line) {
   return line.find_first_not_of(" \t\r") == std::string::npos;
}

// The whole line must be one finite number, blanks around it allowed.
bool readNumber(const std::string& line, double& value) {
   const char* begin = line.c_str();
   char* end = nullptr;
   value = std::strtod(begin, &end);
   if (end == begin || !std::isfinite(value))
      return false;
   return isBlank(end);
}

} // namespace

// voutil stats [--window N] < numbers
int runStats(const Args& args) {
   unsigned window = 0;
   for (std::ptrdiff_t i = 0; i < args.getSize(); ++i) {
      bool error = true;
      if (args(i) == "--window" && i + 1 < args.getSize())
         window = args(++i).toNumber<unsigned>(&error);
      if (error)
         throw BadCommandLine("stats takes only --window N (a whole number)");
   }
   VoAvg avg(window);
   unsigned long long count = 0;
   std::string line;
   for (long long lineNumber = 1; std::getline(std::cin, line); ++lineNumber) {
      if (isBlank(line))
         continue;
      double value = 0.0;
      if (!readNumber(line, value))
         throw SxException("Line " + SxString(lineNumber) +
                               " is not a number: " + SxString(std::string_view(line)),
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
