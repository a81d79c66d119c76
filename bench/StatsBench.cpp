// zstd streams, the copy task and the running statistics against their references, each
// measured in the same run: the zstd tool (-T1) on the same file at the same level, md5sum of
// the same file (the floor of a copy that digests), and a plain loop summing the same values.
// Every benchmark prints its seconds, the reference's and the ratio ("x_ref", goal at most 1.0
// for zstd, 1.15 for the copy, 3 for VoAvg); zstd and the copy are timed by the wall clock,
// the VoAvg loops by the processor time of their thread. The copy also reports the peak resident
// memory of a copy run as its own process ("peak_rss_bytes"; goal at most the 512,000,000-byte copy
// block).
//
// Sizes: VOUTIL_BENCH_ZSTD_MIB (default 256) and VOUTIL_BENCH_COPY_MIB (default 1024); level 19
// on 256 MiB takes minutes on a small machine.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>
#include <voutil/VoArchive.h>
#include <voutil/VoAvg.h>
#include <voutil/VoCopyTask.h>
#include <voutil/VoSysEnv.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path& workDir() {
   static const fs::path dir = [] {
      fs::path d = fs::temp_directory_path() / "voutil-stats-bench";
      fs::create_directories(d);
      return d;
   }();
   return dir;
}

std::size_t mebibytesFromEnv(const char* name, std::size_t fallback) {
   const char* text = std::getenv(name);
   return (text ? std::strtoull(text, nullptr, 10) : fallback) << 20;
}

// Text blocks and random blocks in turns, so that zstd meets both kinds of data.
std::string makeFile(const std::string& name, std::size_t size, bool mixed) {
   const std::string file = (workDir() / name).string();
   if (fs::exists(file) && fs::file_size(file) == size)
      return file;
   std::ofstream out(file, std::ios::binary);
   std::vector<uint64_t> block(1 << 17); // 1 MiB
   uint64_t state = 0x9E3779B97F4A7C15ULL;
   std::string text;
   for (int i = 0; text.size() < block.size() * 8; ++i)
      text +=
          "line " + std::to_string(i) + " of the benchmark's text, " + std::to_string(i * 7) + "\n";
   for (std::size_t written = 0, n = 0; written < size; ++n) {
      const std::size_t chunk = std::min(block.size() * 8, size - written);
      if (mixed && n % 2 == 0) {
         out.write(text.data(), static_cast<std::streamsize>(chunk));
      } else {
         for (uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
         }
         out.write(reinterpret_cast<const char*>(block.data()),
                   static_cast<std::streamsize>(chunk));
      }
      written += chunk;
   }
   return file;
}

// The processor time of the calling thread: a loop on a shared machine is measured by the
// work it does, not by the time it waits for a processor.
template <class Fn>
double cpuSeconds(Fn&& fn) {
   timespec start{}, end{};
   clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
   fn();
   clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
   return static_cast<double>(end.tv_sec - start.tv_sec) +
          static_cast<double>(end.tv_nsec - start.tv_nsec) * 1e-9;
}

template <class Fn>
double seconds(Fn&& fn) {
   const auto start = Clock::now();
   fn();
   return std::chrono::duration<double>(Clock::now() - start).count();
}

double shell(const std::string& command) {
   return seconds([&] {
      if (std::system(command.c_str()) != 0)
         std::abort();
   });
}

void report(benchmark::State& state, double ours, double reference) {
   state.counters["s"] = ours;
   state.counters["s_ref"] = reference;
   state.counters["x_ref"] = ours / reference;
}

const std::string& zstdSource() {
   static const std::string file =
       makeFile("mixed.bin", mebibytesFromEnv("VOUTIL_BENCH_ZSTD_MIB", 256), true);
   return file;
}

void compressZSTD(benchmark::State& state) {
   const int level = static_cast<int>(state.range(0));
   const std::string& src = zstdSource();
   const std::string ours = (workDir() / ("ours" + std::to_string(level) + ".zst")).string();
   const std::string theirs = (workDir() / ("theirs" + std::to_string(level) + ".zst")).string();
   double oursSeconds = 0, theirSeconds = 0;
   for (auto _ : state) {
      oursSeconds += seconds([&] { VoArchive::compressZSTD(src.c_str(), ours.c_str(), level); });
      theirSeconds +=
          shell("zstd -q -f -T1 -" + std::to_string(level) + " " + src + " -o " + theirs);
   }
   report(state, oursSeconds, theirSeconds);
   state.counters["ratio_size"] =
       static_cast<double>(fs::file_size(ours)) / static_cast<double>(fs::file_size(theirs));
}

void extractZSTD(benchmark::State& state) {
   const std::string& src = zstdSource();
   const std::string packed = (workDir() / "ours3.zst").string();
   if (!fs::exists(packed))
      VoArchive::compressZSTD(src.c_str(), packed.c_str(), 3);
   const std::string out = (workDir() / "out.bin").string();
   double oursSeconds = 0, theirSeconds = 0;
   for (auto _ : state) {
      oursSeconds += seconds([&] { VoArchive::extractZSTD(packed.c_str(), out.c_str()); });
      theirSeconds += shell("zstd -q -d -f -T1 " + packed + " -o " + out);
   }
   report(state, oursSeconds, theirSeconds);
}

const std::string& copySource() {
   static const std::string file =
       makeFile("random.bin", mebibytesFromEnv("VOUTIL_BENCH_COPY_MIB", 1024), false);
   return file;
}

// The peak resident memory of `voutil copy SRC DST` run as a process of its own.
long peakRssOfToolCopy(const std::string& src, const std::string& dest) {
   const std::string tool = (VoSysEnv::getExecPath() + "/voutil").utf8();
   std::vector<std::string> args = {tool, "copy", "--quiet", src, dest};
   std::vector<char*> argv;
   for (std::string& a : args)
      argv.push_back(a.data());
   argv.push_back(nullptr);
   posix_spawn_file_actions_t actions;
   posix_spawn_file_actions_init(&actions);
   posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
   pid_t pid = 0;
   if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0)
      std::abort();
   posix_spawn_file_actions_destroy(&actions);
   int status = 0;
   struct rusage usage {};
   if (wait4(pid, &status, 0, &usage) != pid || status != 0)
      std::abort();
   return usage.ru_maxrss * 1024L;
}

void fileCopyTask(benchmark::State& state) {
   const std::string& src = copySource();
   const std::string dest = (workDir() / "copy.bin").string();
   const auto size = static_cast<uint64_t>(fs::file_size(src));
   double oursSeconds = 0, theirSeconds = 0;
   for (auto _ : state) {
      fs::remove(dest);
      oursSeconds += seconds([&] {
         VoFileCopyTask task(src.c_str(), dest.c_str(), {{0, 0, size}});
         task.start();
         task.wait();
         benchmark::DoNotOptimize(task.getMD5().get());
      });
      theirSeconds += shell("md5sum " + src + " >/dev/null");
   }
   report(state, oursSeconds, theirSeconds);
   fs::remove(dest);
   state.counters["peak_rss_bytes"] = static_cast<double>(peakRssOfToolCopy(src, dest));
   state.counters["x_copy_block"] = state.counters["peak_rss_bytes"] / 512000000.0;
   fs::remove(dest);
}

// The same cheap sequence of values in both loops, so that only the accumulation differs.
double valueAt(uint64_t i) {
   return static_cast<double>(i & 1023) * 0.25;
}

void avgUpdate(benchmark::State& state) {
   constexpr uint64_t kValues = 100000000;
   double oursSeconds = 0, theirSeconds = 0;
   for (auto _ : state) {
      VoAvg avg(1000);
      oursSeconds += cpuSeconds([&] {
         for (uint64_t i = 0; i < kValues; ++i)
            avg.update(valueAt(i));
      });
      benchmark::DoNotOptimize(avg.getSigma());
      double sum = 0;
      theirSeconds += cpuSeconds([&] {
         for (uint64_t i = 0; i < kValues; ++i)
            sum += valueAt(i);
      });
      benchmark::DoNotOptimize(sum);
   }
   report(state, oursSeconds, theirSeconds);
}

} // namespace

BENCHMARK(compressZSTD)->Arg(3)->Arg(19)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(extractZSTD)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(fileCopyTask)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(avgUpdate)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
