// The registry road at scale: readCSV on a generated capture of 100 MB, read with schema
// validation of 100k Items, and createRegEntries of 10k Items on the platform's registry.
// Each prints its rate and the ratio to its goal ("x_goal"): 200 MB/s for readCSV, 200k Items/s
// for read. readCSV also prints its ratio to the bare reference ("x_bare_pcre2"): the same four
// patterns matched with PCRE2 directly on the capture in memory, the floor of this way of
// importing. On a shared machine wall time swings with the load, so readCSV gives its rate and
// the ratio also in the process's CPU time ("MB_per_s_cpu", "x_bare_pcre2_cpu").

#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pcre2.h>
#include <rapidjson/filereadstream.h>
#include <rapidjson/filewritestream.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/schema.h>
#include <string>
#include <sx/SxFileIO.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

namespace fs = std::filesystem;

const fs::path& workDir() {
   static const fs::path dir = [] {
      fs::path d = fs::temp_directory_path() / "voutil-road-bench";
      fs::create_directories(d);
      return d;
   }();
   return dir;
}

// A capture of at least 100 MB with the five value types the import treats differently.
const std::string& captureFile() {
   static const std::string name = [] {
      const std::string file = (workDir() / "capture.csv").string();
      std::ofstream out(file, std::ios::binary);
      out << "\"Time of Day\",\"Process "
             "Name\",\"PID\",\"Operation\",\"Path\",\"Result\",\"Detail\"\n";
      static const char* const kDetails[] = {
          "Type: REG_SZ, Length: 40, Data: E:\\Program Files\\Sample\\bin\\tool.exe",
          "Type: REG_EXPAND_SZ, Length: 44, Data: E:\\Users\\%USERNAME%\\AppData\\x.log",
          "Type: REG_DWORD, Length: 4, Data: 4294967295",
          "Type: REG_QWORD, Length: 8, Data: 1733475242000",
          "Type: REG_BINARY, Length: 16, Data: 00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff"};
      std::size_t written = 0;
      for (long i = 0; written < 100u * 1024 * 1024; ++i) {
         const std::string line = "\"09:14:02.1234567\",\"setup.exe\",\"4242\",\"RegSetValue\","
                                  "\"HKLM\\SOFTWARE\\VoutilBench\\E:\\Group" +
                                  std::to_string(i % 97) + "\\Value" + std::to_string(i) +
                                  "\",\"SUCCESS\",\"" + kDetails[i % 5] + "\"\n";
         out << line;
         written += line.size();
      }
      return file;
   }();
   return name;
}

// Wall and CPU seconds since a start.
struct Stopwatch {
   std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
   std::clock_t cpu = std::clock();
   [[nodiscard]] double wallSeconds() const {
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
   }
   [[nodiscard]] double cpuSeconds() const {
      return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
   }
};

// Wall and CPU seconds that matching the import's four patterns takes with PCRE2 alone, on the
// capture already in memory.
std::pair<double, double> bareCaptureScan(const std::string& file) {
   std::ifstream in(file, std::ios::binary);
   const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
   struct Pattern {
      pcre2_code* code;
      pcre2_match_data* match;
      explicit Pattern(const char* pattern) {
         int error = 0;
         PCRE2_SIZE offset = 0;
         code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                              PCRE2_UTF, &error, &offset, nullptr);
         pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
         match = pcre2_match_data_create_from_pattern(code, nullptr);
      }
      ~Pattern() {
         pcre2_match_data_free(match);
         pcre2_code_free(code);
      }
      std::string group(std::string_view s, int n) {
         const int found = pcre2_jit_match(code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(),
                                           0, 0, match, nullptr);
         if (found <= n)
            return {};
         const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(match);
         return std::string(s.substr(ov[2 * n], ov[2 * n + 1] - ov[2 * n]));
      }
   } operation("\"RegSetValue\",\"(.+)\",\"SUCCESS\""), path("(.+)/([^/]+)"),
       type("\"Type: (REG_\\w+), "), data("Data: (.*)\"");
   const Stopwatch watch;
   std::size_t sum = 0;
   for (std::size_t from = text.find('\n') + 1, end; from < text.size(); from = end + 1) {
      end = text.find('\n', from);
      const std::string_view line(text.data() + from, end - from);
      std::string key = operation.group(line, 1);
      std::replace(key.begin(), key.end(), '\\', '/');
      sum += path.group(key, 1).size() + path.group(key, 2).size() + type.group(line, 1).size() +
             data.group(line, 1).size();
   }
   benchmark::DoNotOptimize(sum);
   return {watch.wallSeconds(), watch.cpuSeconds()};
}

// The peak resident memory, in bytes, of one step ("readCSV CAPTURE", "import CAPTURE DIR" or
// "read DIR") run in a fresh process of this program, which reports its own high-water mark. A
// child's figure from wait4 would not do: it keeps the high-water mark of the memory the child
// started with, which is all this benchmark holds.
double peakResidentBytes(const std::vector<std::string>& step) {
   std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --peak-of";
   for (const std::string& arg : step)
      command += " '" + arg + "'";
   std::FILE* child = ::popen(command.c_str(), "r");
   if (!child)
      return -1;
   double bytes = -1;
   if (std::fscanf(child, "%lf", &bytes) != 1)
      bytes = -1;
   return ::pclose(child) == 0 ? bytes : -1;
}

// Runs one step for peakResidentBytes.
int runStep(int argc, char** argv) {
   const std::string step = argc > 2 ? argv[2] : "";
   if (step == "readCSV" && argc == 4)
      (void)VoRegistry::readCSV(argv[3], "E:");
   else if (step == "import" && argc == 5)
      VoRegistry::write(argv[4], VoRegistry::readCSV(argv[3], "E:"));
   else if (step == "read" && argc == 4)
      (void)VoRegistry::read(argv[3]);
   else
      return 2;
   std::ifstream status("/proc/self/status");
   for (std::string line; std::getline(status, line);)
      if (line.rfind("VmHWM:", 0) == 0)
         std::printf("%.0f\n", std::stod(line.substr(6)) * 1024);
   return 0;
}

void readCSV(benchmark::State& state) {
   const std::string& file = captureFile();
   const double bytes = static_cast<double>(fs::file_size(file));
   std::size_t items = 0;
   double seconds = 0;
   double cpuSeconds = 0;
   for (auto _ : state) {
      const Stopwatch watch;
      items = static_cast<std::size_t>(VoRegistry::readCSV(file.c_str(), "E:").getSize());
      seconds += watch.wallSeconds();
      cpuSeconds += watch.cpuSeconds();
   }
   const double n = static_cast<double>(state.iterations());
   const double mbPerSecond = bytes * n / seconds / 1e6;
   const double mbPerCpuSecond = bytes * n / cpuSeconds / 1e6;

   // The reference: the same four patterns matched with PCRE2 directly on every line of the
   // text in memory, groups copied out, nothing else: the floor of this way of importing.
   const auto [bareSeconds, bareCpuSeconds] = bareCaptureScan(file);
   state.counters["MB_per_s"] = mbPerSecond;
   state.counters["MB_per_s_cpu"] = mbPerCpuSecond;
   state.counters["x_goal"] = mbPerSecond / 200.0;
   state.counters["x_bare_pcre2"] = mbPerSecond / (bytes / bareSeconds / 1e6);
   state.counters["x_bare_pcre2_cpu"] = mbPerCpuSecond / (bytes / bareCpuSeconds / 1e6);
   state.counters["items"] = static_cast<double>(items);
   state.counters["peak_rss_x_capture"] = peakResidentBytes({"readCSV", file}) / bytes;
}

// The reference for the description file: the same Items written with RapidJSON's SAX writer,
// and read back with its SAX reader, validated by the same schema in the same pass. Returns the
// seconds of each.
std::pair<double, double> saxReference(const VoRegistry::ItemList& items, const std::string& file) {
   auto start = std::chrono::steady_clock::now();
   {
      std::FILE* out = std::fopen(file.c_str(), "wb");
      char buffer[1 << 16];
      rapidjson::FileWriteStream stream(out, buffer, sizeof buffer);
      rapidjson::PrettyWriter<rapidjson::FileWriteStream> w(stream);
      w.SetIndent(' ', 2);
      w.StartObject();
      w.Key("version");
      w.Int(2);
      w.Key("registry");
      w.StartArray();
      for (const VoRegistry::Item& item : items) {
         w.StartObject();
         w.Key("key");
         w.String(item.key.utf8(), static_cast<rapidjson::SizeType>(item.key.getNBytes()));
         w.Key("value");
         w.String(item.value.utf8(), static_cast<rapidjson::SizeType>(item.value.getNBytes()));
         w.Key("regType");
         const SxString type = VoRegistry::Item::type2String(item.type);
         w.String(type.utf8(), static_cast<rapidjson::SizeType>(type.getNBytes()));
         w.Key("data");
         w.String(item.data.utf8(), static_cast<rapidjson::SizeType>(item.data.getNBytes()));
         w.EndObject();
      }
      w.EndArray();
      w.EndObject();
      stream.Flush();
      std::fclose(out);
   }
   const double writeSeconds =
       std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

   // Items built from the events that the validator passes on.
   struct ItemBuilder : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ItemBuilder> {
      VoRegistry::ItemList items;
      VoRegistry::Item item;
      SxString* field = nullptr;
      bool isType = false;
      bool Key(const char* s, rapidjson::SizeType n, bool) {
         const std::string_view key(s, n);
         isType = key == "regType";
         field = key == "key" ? &item.key : key == "value" ? &item.value : &item.data;
         return true;
      }
      bool String(const char* s, rapidjson::SizeType n, bool) {
         if (isType)
            item.type = VoRegistry::Item::string2Type(SxString::fromUtf8(s, n));
         else if (field)
            *field = SxString::fromUtf8(s, n);
         return true;
      }
      bool EndObject(rapidjson::SizeType) {
         if (field)
            items.append(std::move(item));
         item = {};
         field = nullptr;
         return true;
      }
   };
   start = std::chrono::steady_clock::now();
   const std::string schemaFile = (VoSysEnv::getSchemaPath() + "voregistry-schema.json").utf8();
   std::ifstream schemaIn(schemaFile, std::ios::binary);
   const std::string schemaText((std::istreambuf_iterator<char>(schemaIn)),
                                std::istreambuf_iterator<char>());
   rapidjson::Document schemaDoc;
   schemaDoc.Parse(schemaText.c_str(), schemaText.size());
   const rapidjson::SchemaDocument schema(schemaDoc);
   ItemBuilder builder;
   rapidjson::GenericSchemaValidator<rapidjson::SchemaDocument, ItemBuilder> validator(schema,
                                                                                       builder);
   std::FILE* in = std::fopen(file.c_str(), "rb");
   char buffer[1 << 16];
   rapidjson::FileReadStream stream(in, buffer, sizeof buffer);
   rapidjson::Reader reader;
   const bool ok =
       !reader.Parse<rapidjson::kParseValidateEncodingFlag>(stream, validator).IsError();
   std::fclose(in);
   const double readSeconds =
       std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
   if (!ok || builder.items.getSize() != items.getSize())
      return {-1, -1};
   return {writeSeconds, readSeconds};
}

// The capture's Items through the description file: write and read (with validation) in
// Items a second, beside RapidJSON's SAX writer and reader with validation in the same pass, and
// the peak resident memory of an import (readCSV, then write) and of a read
// over the capture's size.
void describeCapture(benchmark::State& state) {
   const std::string& file = captureFile();
   const double bytes = static_cast<double>(fs::file_size(file));
   const SxString dir = (workDir().string() + "/capture-desc/").c_str();
   const VoRegistry::ItemList items = VoRegistry::readCSV(file.c_str(), "E:");
   double writeSeconds = 0, writeCpuSeconds = 0;
   double readSeconds = 0, readCpuSeconds = 0;
   for (auto _ : state) {
      const Stopwatch writing;
      VoRegistry::write(dir, items);
      writeSeconds += writing.wallSeconds();
      writeCpuSeconds += writing.cpuSeconds();
      const Stopwatch reading;
      benchmark::DoNotOptimize(VoRegistry::read(dir).getSize());
      readSeconds += reading.wallSeconds();
      readCpuSeconds += reading.cpuSeconds();
   }
   const double n = static_cast<double>(items.getSize()) * static_cast<double>(state.iterations());
   const auto [saxWriteSeconds, saxReadSeconds] =
       saxReference(items, workDir().string() + "/sax-reference.json");
   const double itemCount = static_cast<double>(items.getSize());
   state.counters["write_items_per_s"] = n / writeSeconds;
   state.counters["read_items_per_s"] = n / readSeconds;
   state.counters["write_items_per_s_cpu"] = n / writeCpuSeconds;
   state.counters["read_items_per_s_cpu"] = n / readCpuSeconds;
   state.counters["write_x_goal"] = n / writeSeconds / 500000.0;
   state.counters["read_x_goal"] = n / readSeconds / 500000.0;
   state.counters["write_x_sax"] = n / writeSeconds / (itemCount / saxWriteSeconds);
   state.counters["read_x_sax"] = n / readSeconds / (itemCount / saxReadSeconds);
   state.counters["import_peak_rss_x_capture"] =
       peakResidentBytes({"import", file, dir.utf8() + std::string("again/")}) / bytes;
   state.counters["read_peak_rss_x_capture"] = peakResidentBytes({"read", dir.utf8()}) / bytes;
}

void read(benchmark::State& state) {
   const SxString dir = (workDir().string() + "/desc100k/").c_str();
   static bool written = false;
   if (!written) {
      VoRegistry::ItemList items;
      for (int i = 0; i < 100000; ++i)
         items.append({"HKLM/SOFTWARE/VoutilBench/{{VODRIVE}}/Group" + SxString(i % 97),
                       "Value" + SxString(i), VoRegistry::Item::Sz,
                       "{{VODRIVE}}\\\\Program Files\\\\Sample\\\\tool" + SxString(i) + ".exe"});
      VoRegistry::write(dir, items);
      written = true;
   }
   double seconds = 0;
   for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(VoRegistry::read(dir).getSize());
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
   }
   const double perSecond = 100000.0 * static_cast<double>(state.iterations()) / seconds;
   state.counters["items_per_s"] = perSecond;
   state.counters["x_goal"] = perSecond / 200000.0;
}

void createRegEntries(benchmark::State& state) {
   VoRegistry::ItemList items;
   for (int i = 0; i < 10000; ++i)
      items.append({"HKCU/Software/VoutilBench/Road/{{VODRIVE}}/G" + SxString(i % 50),
                    "v" + SxString(i), i % 2 ? VoRegistry::Item::Sz : VoRegistry::Item::DWord,
                    i % 2 ? SxString("{{VODRIVE}}\\tools") : SxString(i)});
   double seconds = 0;
   for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      VoRegistry::createRegEntries(items, "F:");
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      state.PauseTiming();
      VoRegistry::rm_rf("HKCU/Software/VoutilBench/Road");
      state.ResumeTiming();
   }
   state.counters["items_per_s"] = 10000.0 * static_cast<double>(state.iterations()) / seconds;
}

} // namespace

BENCHMARK(readCSV)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(describeCapture)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(read)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(createRegEntries)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv) {
   if (argc > 1 && std::string_view(argv[1]) == "--peak-of")
      return runStep(argc, argv);
   // A store of its own, so that the benchmark never touches the user's registry.
   const std::string store = (workDir() / "registry").string();
   fs::create_directories(store);
#ifndef _WIN32
   ::setenv("VOUTIL_REGISTRY_DIR", store.c_str(), 0);
#endif
   benchmark::Initialize(&argc, argv);
   benchmark::RunSpecifiedBenchmarks();
   benchmark::Shutdown();
   return 0;
}
