// The log's message path beside a plain logger in the same run: one that formats the same line
// with strftime and writes it with fprintf and fflush, once per line. "x_plain" is the plain
// logger's time over ours (1 is as fast). Both write to a file in the temporary directory.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <voutil/VoLog.h>

namespace {

constexpr int kLines = 20000;
const char* const kMessage = "copied 8388608 bytes of the range to the target in 12 ms";

std::string scratchFile(const char* name) {
   return (std::filesystem::temp_directory_path() / name).string();
}

// kLines lines through the plain logger into file.
double plainSeconds(std::FILE* file) {
   const auto start = std::chrono::steady_clock::now();
   for (int i = 0; i < kLines; ++i) {
      const std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_r(&now, &local);
      char stamp[64];
      std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
      std::fprintf(file, "%s [%s] : %s\n", stamp, "bench", kMessage);
      std::fflush(file);
   }
   const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
   return took.count();
}

// Each iteration runs both loggers in turn, so that both see the same moments of the machine.
void logLines(benchmark::State& state) {
   const std::string path = scratchFile("voutil-log-bench.log");
   const std::string plainPath = scratchFile("voutil-log-bench-plain.log");
   std::FILE* plainFile = std::fopen(plainPath.c_str(), "wb");
   double ours = 0;
   double plain = 0;
   {
      VoLog log{SxString(path)};
      log.disableLogToStdOut();
      const SxString message(kMessage);
      for (auto _ : state) {
         const auto start = std::chrono::steady_clock::now();
         for (int i = 0; i < kLines; ++i)
            voLogMsg("bench", message);
         const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
         state.SetIterationTime(took.count());
         ours += took.count();
         plain += plainSeconds(plainFile);
      }
   }
   std::fclose(plainFile);
   std::filesystem::remove(path);
   std::filesystem::remove(plainPath);
   ours /= static_cast<double>(state.iterations());
   plain /= static_cast<double>(state.iterations());
   state.counters["lines_per_s"] = kLines / ours;
   state.counters["plain_lines_per_s"] = kLines / plain;
   state.counters["x_plain"] = plain / ours;
}
BENCHMARK(logLines)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);

} // namespace

BENCHMARK_MAIN();
