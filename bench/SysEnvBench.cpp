// The system environment against its references, each measured in the same run:
//   - parallelFor with a CPU-bound body (no shared writes) against the same body run
//     sequentially: "speedup" is sequential time over parallel time (goal: at least 1.8 on 2
//     processors);
//   - isProcRunning of a name that is not running, and getProcessID of a process started just
//     before, against "pgrep -x NAME" run as a process: "x_pgrep" is our wall time over
//     pgrep's (goal: at most 0.5).
// Each iteration times ours and the reference back to back, so both see the same machine load.

#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <voutil/VoSysEnv.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
   return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs a program with arguments, its output sent nowhere, and waits for it; returns its exit
// status.
int runProgram(std::vector<std::string> argv) {
   std::vector<char*> args;
   for (std::string& a : argv)
      args.push_back(a.data());
   args.push_back(nullptr);
   posix_spawn_file_actions_t actions;
   ::posix_spawn_file_actions_init(&actions);
   ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
   pid_t pid = 0;
   const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
   ::posix_spawn_file_actions_destroy(&actions);
   if (spawned != 0)
      return -1;
   int status = 0;
   ::waitpid(pid, &status, 0);
   return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A sleeping program under a name of its own, ended when the object goes.
class Sleeper {
public:
   explicit Sleeper(const std::string& name) {
      // pgrep -x matches the kernel's name, which keeps 15 bytes.
      path_ = std::filesystem::temp_directory_path() /
              (name + "-" + std::to_string(::getpid() % 100000));
      std::filesystem::copy_file("/bin/sleep", path_,
                                 std::filesystem::copy_options::overwrite_existing);
      name_ = path_.filename().string();
      std::string program = path_.string(), seconds = "60";
      char* argv[] = {program.data(), seconds.data(), nullptr};
      ::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv, environ);
   }
   ~Sleeper() {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      std::filesystem::remove(path_);
   }
   Sleeper(const Sleeper&) = delete;
   Sleeper& operator=(const Sleeper&) = delete;
   [[nodiscard]] const std::string& name() const { return name_; }

private:
   std::filesystem::path path_;
   std::string name_;
   pid_t pid_ = 0;
};

// A CPU-bound body: a long chain of multiply-adds per index, kept in registers.
void mix(uint64_t begin, uint64_t end) {
   uint64_t sum = 0;
   for (uint64_t i = begin; i < end; ++i) {
      uint64_t x = i;
      for (int round = 0; round < 400; ++round)
         x = x * 6364136223846793005ULL + 1442695040888963407ULL;
      sum += x;
   }
   benchmark::DoNotOptimize(sum);
}

void parallelFor(benchmark::State& state) {
   constexpr uint64_t n = 200000;
   double parallel = 0, sequential = 0;
   for (auto _ : state) {
      auto start = Clock::now();
      VoSysEnv::parallelFor(n, mix, true);
      parallel += secondsSince(start);
      start = Clock::now();
      VoSysEnv::parallelFor(n, mix, false);
      sequential += secondsSince(start);
   }
   const double runs = static_cast<double>(state.iterations());
   state.counters["parallel_ms"] = parallel / runs * 1e3;
   state.counters["sequential_ms"] = sequential / runs * 1e3;
   state.counters["speedup"] = sequential / parallel;
   state.counters["processors"] = static_cast<double>(std::thread::hardware_concurrency());
}
BENCHMARK(parallelFor)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);

// Our time for ask() and pgrep's for name, and their ratio.
template <class Ask>
void againstPgrep(benchmark::State& state, const std::string& name, Ask&& ask) {
   double ours = 0, pgrep = 0;
   for (auto _ : state) {
      auto start = Clock::now();
      ask();
      ours += secondsSince(start);
      start = Clock::now();
      benchmark::DoNotOptimize(runProgram({"pgrep", "-x", name}));
      pgrep += secondsSince(start);
   }
   const double runs = static_cast<double>(state.iterations());
   state.counters["ours_ms"] = ours / runs * 1e3;
   state.counters["pgrep_ms"] = pgrep / runs * 1e3;
   state.counters["x_pgrep"] = ours / pgrep;
}

void isProcRunning_missing(benchmark::State& state) {
   const std::string name = "vo-not-running";
   againstPgrep(state, name, [&] {
      if (VoSysEnv::isProcRunning(SxString(name)))
         state.SkipWithError("the name runs");
   });
}
BENCHMARK(isProcRunning_missing)->UseRealTime()->Unit(benchmark::kMillisecond);

void getProcessID_justStarted(benchmark::State& state) {
   const Sleeper sleeper("vosleep");
   if (runProgram({"pgrep", "-x", sleeper.name()}) != 0) {
      state.SkipWithError("pgrep does not see the sleeper");
      return;
   }
   againstPgrep(state, sleeper.name(), [&] {
      if (VoSysEnv::getProcessID(SxString(sleeper.name()), 1000) == VoSysEnv::kProcessNotFound)
         state.SkipWithError("the sleeper was not found");
   });
}
BENCHMARK(getProcessID_justStarted)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
