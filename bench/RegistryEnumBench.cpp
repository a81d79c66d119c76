// Listing one key of N subkeys (RegEnumKeyExW) and one key of N values (RegEnumValueW) on our
// store, each beside a bare SQLite scan of the same rows in the same order in the same run.
// "ns_per_row" should not grow with N (a listing is linear); "x_bare" is the bare scan's time
// over ours (goal: at least 0.5). The *_locks benchmarks count the lock system calls (fcntl)
// that one registry call makes, through SQLite's own hook for its system calls: on a VM such a
// call costs microseconds (goal: no more than the three of a WAL read transaction).

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;

std::u16string keyPath(bool values, int64_t rows) {
   const std::string text =
       (values ? "Software\\VoutilEnum\\Values" : "Software\\VoutilEnum\\Keys") +
       std::to_string(rows);
   return {text.begin(), text.end()};
}

// Fills the key with rows subkeys or values once per process.
HKEY filledKey(bool values, int64_t rows) {
   HKEY key = nullptr;
   DWORD disposition = 0;
   if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath(values, rows).c_str(), 0, nullptr, 0,
                       KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
      return nullptr;
   for (int64_t i = 0; disposition == REG_CREATED_NEW_KEY && i < rows; ++i) {
      char name[24];
      std::snprintf(name, sizeof name, "n%07lld", static_cast<long long>(i));
      const std::u16string wide(name, name + std::char_traits<char>::length(name));
      const DWORD data = static_cast<DWORD>(i);
      HKEY sub = nullptr;
      if (values)
         RegSetValueExW(key, wide.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data);
      else if (RegCreateKeyExW(key, wide.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &sub,
                               nullptr) == ERROR_SUCCESS)
         RegCloseKey(sub);
   }
   return key;
}

// The same rows straight from the store file: names (and data) copied out, as the calls do.
double bareScan(bool values, int64_t rows) {
   const std::string file = std::string(std::getenv("VOUTIL_REGISTRY_DIR")) + "/user.sqlite";
   sqlite3* db = nullptr;
   sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
   sqlite3_stmt* stmt = nullptr;
   sqlite3_prepare_v2(db,
                      values ? "SELECT name, type, data FROM regvalue WHERE key=(SELECT key FROM "
                               "regvalue GROUP BY key HAVING count(*)=?1) ORDER BY folded"
                             : "SELECT name FROM regkey WHERE parent=(SELECT parent FROM regkey "
                               "GROUP BY parent HAVING count(*)=?1) ORDER BY folded",
                      -1, &stmt, nullptr);
   sqlite3_bind_int64(stmt, 1, rows);
   // The key's id is looked up before the clock starts.
   sqlite3_step(stmt);
   sqlite3_reset(stmt);
   const auto start = Clock::now();
   int64_t found = 0;
   std::u16string name;
   std::vector<BYTE> data;
   while (sqlite3_step(stmt) == SQLITE_ROW) {
      const auto* units = static_cast<const char16_t*>(sqlite3_column_blob(stmt, 0));
      name.assign(units, units + sqlite3_column_bytes(stmt, 0) / 2);
      if (values) {
         const auto* bytes = static_cast<const BYTE*>(sqlite3_column_blob(stmt, 2));
         data.assign(bytes, bytes + sqlite3_column_bytes(stmt, 2));
      }
      ++found;
   }
   const std::chrono::duration<double> seconds = Clock::now() - start;
   sqlite3_finalize(stmt);
   sqlite3_close(db);
   return found == rows ? seconds.count() : -1;
}

void list(benchmark::State& state, bool values) {
   const int64_t rows = state.range(0);
   const HKEY key = filledKey(values, rows);
   if (!key) {
      state.SkipWithError("cannot fill the key");
      return;
   }
   double ours = 0, bare = 0;
   for (auto _ : state) {
      const auto start = Clock::now();
      char16_t name[300];
      BYTE data[64];
      DWORD index = 0;
      for (LSTATUS status = ERROR_SUCCESS; status == ERROR_SUCCESS; ++index) {
         DWORD cch = 300, size = sizeof data, type = 0;
         status = values
                      ? RegEnumValueW(key, index, name, &cch, nullptr, &type, data, &size)
                      : RegEnumKeyExW(key, index, name, &cch, nullptr, nullptr, nullptr, nullptr);
      }
      const std::chrono::duration<double> seconds = Clock::now() - start;
      state.SetIterationTime(seconds.count());
      ours += seconds.count();
      if (index - 1 != rows)
         state.SkipWithError("the listing missed rows");
      bare += bareScan(values, rows);
   }
   RegCloseKey(key);
   const auto n = static_cast<double>(state.iterations());
   state.counters["ns_per_row"] = ours / n / static_cast<double>(rows) * 1e9;
   state.counters["x_bare"] = bare / ours;
}

void RegEnumKeyExW_all(benchmark::State& state) {
   list(state, false);
}
void RegEnumValueW_all(benchmark::State& state) {
   list(state, true);
}
BENCHMARK(RegEnumKeyExW_all)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(RegEnumValueW_all)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

std::atomic<int64_t> gFcntlCalls{0};
int (*gRealFcntl)(int, int, ...) = nullptr;

int countingFcntl(int fd, int command, ...) {
   va_list args;
   va_start(args, command);
   void* argument = va_arg(args, void*);
   va_end(args);
   ++gFcntlCalls;
   return gRealFcntl(fd, command, argument);
}

// Counts SQLite's fcntl calls from now on.
void countFcntl() {
   sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
   if (!gRealFcntl) {
      gRealFcntl = reinterpret_cast<int (*)(int, int, ...)>(vfs->xGetSystemCall(vfs, "fcntl"));
      vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(&countingFcntl));
   }
}

// Runs call per iteration on a key holding a value and a subkey, and reports its fcntl calls.
template <class Call>
void locks(benchmark::State& state, Call&& call) {
   countFcntl();
   HKEY key = nullptr, sub = nullptr;
   const DWORD data = 7;
   if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\VoutilLocks", 0, nullptr, 0, KEY_ALL_ACCESS,
                       nullptr, &key, nullptr) != ERROR_SUCCESS ||
       RegCreateKeyExW(key, u"sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr) ||
       RegSetValueExW(key, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), 4)) {
      state.SkipWithError("cannot make the key");
      return;
   }
   RegCloseKey(sub);
   const int64_t before = gFcntlCalls;
   for (auto _ : state)
      call(key);
   state.counters["fcntl_per_call"] =
       static_cast<double>(gFcntlCalls - before) / static_cast<double>(state.iterations());
   RegCloseKey(key);
}

void RegQueryValueExW_locks(benchmark::State& state) {
   locks(state, [](HKEY key) {
      DWORD value = 0, size = sizeof value;
      RegQueryValueExW(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
   });
}
void RegSetValueExW_locks(benchmark::State& state) {
   locks(state, [](HKEY key) {
      const DWORD value = 8;
      RegSetValueExW(key, u"w", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
   });
}
void RegOpenKeyExW_locks(benchmark::State& state) {
   locks(state, [](HKEY key) {
      HKEY sub = nullptr;
      if (RegOpenKeyExW(key, u"sub", 0, KEY_READ, &sub) == ERROR_SUCCESS)
         RegCloseKey(sub);
   });
}
void RegEnumKeyExW_locks(benchmark::State& state) {
   locks(state, [](HKEY key) {
      char16_t name[8];
      DWORD cch = 8;
      RegEnumKeyExW(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
   });
}
BENCHMARK(RegQueryValueExW_locks);
BENCHMARK(RegSetValueExW_locks);
BENCHMARK(RegOpenKeyExW_locks);
BENCHMARK(RegEnumKeyExW_locks);

} // namespace

int main(int argc, char** argv) {
   // A store of its own, so that the figures do not depend on what the user's store holds.
   const std::filesystem::path dir =
       std::filesystem::temp_directory_path() / ("voutil-enum-bench-" + std::to_string(::getpid()));
   ::setenv("VOUTIL_REGISTRY_DIR", dir.c_str(), 1);
   benchmark::Initialize(&argc, argv);
   if (benchmark::ReportUnrecognizedArguments(argc, argv))
      return 1;
   benchmark::RunSpecifiedBenchmarks();
   benchmark::Shutdown();
   std::filesystem::remove_all(dir);
   return 0;
}
