// .reg files at scale: importReg and exportReg of 100,000 values of every type in 1,000 keys on
// the POSIX store, next to Wine's reg.exe importing and exporting the same file in the same run
// (WINEPREFIX as set, or Wine's default; files passed as Z: paths, since reg.exe reads a leading
// "/" as a switch). Each prints "values_per_s"; the reg.exe benchmarks run
// after ours and print "x_ours", our rate over reg.exe's (the goal is at least 3 both ways), and
// the export also whether both files are byte-identical ("identical"). Wall time: reg.exe does
// its work in the Wine server, outside this process's CPU time.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <voutil/VoRegistry.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kKeys = 1000;
constexpr int kValuesPerKey = 100;
constexpr double kValues = double{kKeys} * kValuesPerKey;
const SxString kKey = "HKCU/Software/VoutilRegFileBench";
const std::string kWineKey = "'HKCU\\Software\\VoutilRegFileBench'"; // quoted for the shell

const fs::path& workDir() {
   static const fs::path dir = [] {
      fs::path d = fs::temp_directory_path() / ("voutil-regfile-bench-" + std::to_string(getpid()));
      fs::create_directories(d);
      // Before the first registry call, which opens the store.
      setenv("VOUTIL_REGISTRY_DIR", (d / "store").c_str(), 1);
      return d;
   }();
   return dir;
}

std::string hexBytes(int n, int seed) {
   std::string text;
   for (int i = 0; i < n; ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", (seed * 31 + i * 7) & 0xFF);
      text += byte;
   }
   return text;
}

// The file as our export writes it, made by importing a generated text once.
const SxArray<char>& regFile() {
   static const SxArray<char> file = [] {
      workDir();
      std::string text = "Windows Registry Editor Version 5.00\r\n";
      for (int k = 0; k < kKeys; ++k) {
         text += "\r\n[HKEY_CURRENT_USER\\Software\\VoutilRegFileBench\\Key" + std::to_string(k) +
                 "]\r\n";
         for (int v = 0; v < kValuesPerKey; ++v) {
            text += "\"Value" + std::to_string(v) + "\"=";
            switch (v % 8) {
            case 0:
               text += "\"C:\\\\Program Files\\\\Sample " + std::to_string(v) + "\\\\tool.exe\"";
               break;
            case 1:
               text += "dword:" + std::to_string(10000000 + k * kValuesPerKey + v);
               break;
            case 2:
               text += "hex(b):" + hexBytes(8, v);
               break;
            case 3:
               text += "hex:" + hexBytes(40, v);
               break;
            case 4:
               text += "hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00";
               break;
            case 5:
               text += "hex(7):61,00,00,00,62,00,00,00,00,00";
               break;
            case 6:
               text += "hex(0):";
               break;
            default:
               text += "hex(5):01,02,03,04";
               break;
            }
            text += "\r\n";
         }
      }
      VoRegistry::rm_rf(kKey);
      VoRegistry::importReg(SxArray<char>(text.data(), static_cast<std::ptrdiff_t>(text.size())),
                            "generated.reg");
      return VoRegistry::exportReg(kKey);
   }();
   return file;
}

const std::string& regFileOnDisk() {
   static const std::string name = [] {
      const std::string path = (workDir() / "bench.reg").string();
      std::ofstream(path, std::ios::binary)
          .write(regFile().elements(), static_cast<std::streamsize>(regFile().getSize()));
      return path;
   }();
   return name;
}

double gOursImport = 0;
double gOursExport = 0;

// Runs timed() once per iteration after untimed(), and reports the values a second.
template <class Untimed, class Timed>
double run(benchmark::State& state, Untimed&& untimed, Timed&& timed) {
   double seconds = 0;
   for (auto _ : state) {
      untimed();
      const auto start = Clock::now();
      timed();
      const std::chrono::duration<double> took = Clock::now() - start;
      state.SetIterationTime(took.count());
      seconds += took.count();
   }
   const double rate = static_cast<double>(state.iterations()) * kValues / seconds;
   state.counters["values_per_s"] = rate;
   return rate;
}

void BM_ImportReg(benchmark::State& state) {
   const SxArray<char>& file = regFile();
   gOursImport = run(
       state, [] { VoRegistry::rm_rf(kKey); }, [&] { VoRegistry::importReg(file, "bench.reg"); });
}
BENCHMARK(BM_ImportReg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportReg(benchmark::State& state) {
   regFile();
   gOursExport = run(
       state, [] {}, [] { benchmark::DoNotOptimize(VoRegistry::exportReg(kKey)); });
}
BENCHMARK(BM_ExportReg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

bool wine(const std::string& args) {
   return std::system(("WINEDEBUG=-all wine " + args + " >/dev/null 2>&1 </dev/null").c_str()) == 0;
}

void BM_WineRegImport(benchmark::State& state) {
   const std::string file = regFileOnDisk();
   if (!wine("reg /?")) {
      state.SkipWithError("wine reg.exe does not run");
      return;
   }
   bool ok = true;
   const double rate = run(
       state, [] { wine("reg delete " + kWineKey + " /f"); },
       [&] { ok = ok && wine("reg import Z:" + file); });
   if (!ok)
      state.SkipWithError("wine reg import failed");
   state.counters["x_ours"] = gOursImport / rate;
}
BENCHMARK(BM_WineRegImport)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WineRegExport(benchmark::State& state) {
   const std::string out = (workDir() / "wine.reg").string();
   bool ok = true;
   const double rate = run(
       state, [] {}, [&] { ok = ok && wine("reg export " + kWineKey + " Z:" + out + " /y"); });
   if (!ok) {
      state.SkipWithError("wine reg export failed");
      return;
   }
   std::ifstream in(out, std::ios::binary);
   const std::string wineBytes{std::istreambuf_iterator<char>(in), {}};
   state.counters["x_ours"] = gOursExport / rate;
   state.counters["identical"] =
       wineBytes ==
       std::string(regFile().elements(), static_cast<std::size_t>(regFile().getSize()));
   wine("reg delete " + kWineKey + " /f");
}
BENCHMARK(BM_WineRegExport)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
   benchmark::Initialize(&argc, argv);
   benchmark::RunSpecifiedBenchmarks();
   benchmark::Shutdown();
   std::error_code ignored;
   fs::remove_all(workDir(), ignored);
   return 0;
}
