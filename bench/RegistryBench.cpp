// setVal and getVal calls per second on the platform's registry (our SQLite store on POSIX),
// against the reference figures of Wine's registry measured with the same kind of loop on the
// same machine: RegSetValueExW on an open key 27k/s; open + two RegQueryValueExW + close,
// which is what getVal does, 8.6k/s. "calls_per_s" is measured by the wall clock;
// "x_wine" is its ratio to the reference.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <voutil/VoRegistry.h>
#include <windows.h>

namespace {

constexpr double kWineSetPerSecond = 27000;
constexpr double kWineGetPerSecond = 8600;
const SxString kKey = "HKCU/Software/VoutilBench/Values";
constexpr int kNames = 64;

SxString valueName(int64_t i) {
   return "v" + SxString(static_cast<long long>(i % kNames));
}

// Calls per second by the wall clock, since waiting for the store counts, and their ratio to
// the reference.
class Throughput {
public:
   explicit Throughput(double referencePerSecond)
       : reference_(referencePerSecond), start_(std::chrono::steady_clock::now()) {}
   void report(benchmark::State& state) const {
      const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
      const double perSecond = static_cast<double>(state.iterations()) / elapsed.count();
      state.counters["calls_per_s"] = perSecond;
      state.counters["x_wine"] = perSecond / reference_;
   }

private:
   double reference_;
   std::chrono::steady_clock::time_point start_;
};

void setVal(benchmark::State& state) {
   int64_t i = 0;
   const Throughput throughput(kWineSetPerSecond);
   for (auto _ : state) {
      VoRegistry::setVal(kKey, valueName(i), VoRegistry::Item::DWord,
                         SxString(static_cast<long long>(i)));
      ++i;
   }
   throughput.report(state);
}
BENCHMARK(setVal)->UseRealTime();

void getVal(benchmark::State& state) {
   for (int i = 0; i < kNames; ++i)
      VoRegistry::setVal(kKey, valueName(i), VoRegistry::Item::Sz, "some text of moderate length");
   int64_t i = 0;
   const Throughput throughput(kWineGetPerSecond);
   for (auto _ : state)
      benchmark::DoNotOptimize(VoRegistry::getVal(kKey, valueName(i++)));
   throughput.report(state);
}
BENCHMARK(getVal)->UseRealTime();

// The bare platform call that the setVal reference measured, for the cost of the layers above.
void RegSetValueExW_onOpenKey(benchmark::State& state) {
   VoRegistry::mkdir_p(kKey);
   HKEY key = nullptr;
   const SxString sub = kKey.substitute("HKCU/", "").substitute("/", "\\");
   if (RegOpenKeyExW(HKEY_CURRENT_USER, sub.utf16().elements(), 0, KEY_WRITE, &key) !=
       ERROR_SUCCESS) {
      state.SkipWithError("cannot open the benchmark key");
      return;
   }
   const SxArray<SxChar16> name = SxString("raw").utf16();
   DWORD value = 0;
   const Throughput throughput(kWineSetPerSecond);
   for (auto _ : state) {
      ++value;
      benchmark::DoNotOptimize(RegSetValueExW(key, name.elements(), 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&value), sizeof value));
   }
   RegCloseKey(key);
   throughput.report(state);
}
BENCHMARK(RegSetValueExW_onOpenKey)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
   // A store of its own, so that the figures do not depend on what the user's store holds.
   const std::filesystem::path dir =
       std::filesystem::temp_directory_path() / ("voutil-bench-" + std::to_string(::getpid()));
   if (!std::getenv("VOUTIL_REGISTRY_DIR"))
      ::setenv("VOUTIL_REGISTRY_DIR", dir.c_str(), 1);
#endif
   benchmark::Initialize(&argc, argv);
   if (benchmark::ReportUnrecognizedArguments(argc, argv))
      return 1;
   benchmark::RunSpecifiedBenchmarks();
   benchmark::Shutdown();
   VoRegistry::rm_rf("HKCU/Software/VoutilBench");
#ifndef _WIN32
   std::filesystem::remove_all(dir);
#endif
   return 0;
}
