// Base64, RSA and Caesar on 64 MiB (and RSA on 1 KiB), each beside its reference in the same
// run. Counters ("_fresh": the reference writes into freshly allocated memory, as the wrappers
// encode and decode must): "x_openssl" is OpenSSL's time (EVP_EncodeBlock or EVP_DecodeBlock on the
// same bytes) over ours, "x_memcpy_time" our time over memcpy's for the same 64 MiB (Caesar:
// "x_memcpy_speed", memcpy's time over ours), "x_plain" the time of the plain per-block powMod
// loop over ours. All times are the thread's processor time. "same" is 1 when our output equals the
// reference's byte for byte. "x_floor_time" is our time over the fresh-memory floor: allocating
// and filling a block of the result's size through the same allocator. Argument "huge" 0 runs
// with the huge-page path of large blocks turned off (VOUTIL_HUGE_PAGES=0), 1 with it on.

#include "common/PlainCodecs.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <map>
#include <openssl/evp.h>
#include <random>
#include <stdlib.h>
#include <string>
#include <time.h>
#include <voutil/VoBase64.h>
#include <voutil/VoEncrypt.h>

namespace {

constexpr std::ptrdiff_t kBig = 64 << 20;

// The calling thread's processor time, page faults included: on a shared machine the wall
// clock would count the other programs' turns too.
double threadSeconds() {
   timespec now{};
   clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
   return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <class F>
double secondsOf(F&& f) {
   const double start = threadSeconds();
   f();
   return threadSeconds() - start;
}

// The best of three runs, so that a busy moment of the machine does not count.
template <class F>
double bestOf3(F&& f) {
   double best = 1e300;
   for (int i = 0; i < 3; ++i)
      best = std::min(best, secondsOf(f));
   return best;
}

SxArray<char> const& randomData(std::ptrdiff_t size) {
   static std::map<std::ptrdiff_t, SxArray<char>> cache;
   SxArray<char>& data = cache[size];
   if (data.getSize() != size) {
      data.resize(size);
      std::mt19937_64 random(42);
      for (std::ptrdiff_t i = 0; i + 8 <= size; i += 8) {
         const uint64_t word = random();
         std::memcpy(data.elements() + i, &word, 8);
      }
   }
   return data;
}

// Sets the huge-page switch for this benchmark from its argument at index.
void useHugePages(benchmark::State const& state, int index) {
   setenv("VOUTIL_HUGE_PAGES", state.range(index) != 0 ? "1" : "0", 1);
}

// The fresh-memory floor of a result of size bytes under the current switch.
double floorSeconds(std::ptrdiff_t size) {
   return bestOf3([&] { benchmark::DoNotOptimize(SxArray<char>(size)); });
}

SxString const& bigText() {
   static const SxString text = VoBase64::encode(randomData(kBig));
   return text;
}

// A copy into fresh memory, as the wrappers must return: allocation and page faults included.
double freshMemcpySeconds() {
   static const double seconds = [] {
      SxArray<char> const& data = randomData(kBig);
      return bestOf3([&] { benchmark::DoNotOptimize(std::string(data.elements(), kBig)); });
   }();
   return seconds;
}

double memcpySeconds() {
   static const double seconds = [] {
      std::string to(kBig, '\0');
      return bestOf3([&] { std::memcpy(to.data(), randomData(kBig).elements(), kBig); });
   }();
   return seconds;
}

VoRSAKey const& benchKey() {
   static const VoRSAKey key = [] {
      VoRSAKey k;
      k.generateKey();
      return k;
   }();
   return key;
}

// Times run per iteration by hand, sets the ratios to the reference seconds and returns the
// last result. A result is released outside the timing, as the reference frees nothing either.
template <class Run>
auto measure(benchmark::State& state, Run&& run, std::map<std::string, double> const& ratios) {
   decltype(run()) last{};
   double total = 0;
   for (auto _ : state) {
      decltype(run()) result{};
      const double seconds = secondsOf([&] { result = run(); });
      state.SetIterationTime(seconds);
      total += seconds;
      last = std::move(result);
   }
   const double ours = total / static_cast<double>(state.iterations());
   for (auto const& [name, reference] : ratios)
      state.counters[name] =
          name.find("_time") != std::string::npos ? ours / reference : reference / ours;
   return last;
}

void ntop(benchmark::State& state) {
   SxArray<char> const& data = randomData(kBig);
   auto const* src = reinterpret_cast<unsigned char const*>(data.elements());
   std::string ours(kBig / 3 * 4 + 8, '\0');
   std::string theirs = ours;
   const double openssl = bestOf3([&] {
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(theirs.data()), src, static_cast<int>(kBig));
   });
   measure(
       state,
       [&] { return VoBase64_ntop(src, kBig, ours.data(), static_cast<long long>(ours.size())); },
       {{"x_openssl", openssl}, {"x_memcpy_time", memcpySeconds()}});
   state.counters["same"] = ours == theirs;
}
BENCHMARK(ntop)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);

void pton(benchmark::State& state) {
   SxString const& text = bigText();
   std::string ours(kBig + 8, '\0');
   std::string theirs = ours;
   const double openssl = bestOf3([&] {
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(theirs.data()),
                      reinterpret_cast<unsigned char const*>(text.utf8()),
                      static_cast<int>(text.getNBytes()));
   });
   measure(state,
           [&] {
              return VoBase64_pton(text.utf8(), reinterpret_cast<unsigned char*>(ours.data()),
                                   static_cast<long long>(ours.size()));
           },
           {{"x_openssl", openssl}, {"x_memcpy_time", memcpySeconds()}});
   state.counters["same"] = std::equal(ours.begin(), ours.begin() + kBig, theirs.begin());
}
BENCHMARK(pton)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);

// A 64 MiB case with the huge-page path off and on, each for at least a second.
void bothHugePageSettings(benchmark::internal::Benchmark* b) {
   b->ArgName("huge")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);
}

void encode(benchmark::State& state) {
   useHugePages(state, 0);
   SxArray<char> const& data = randomData(kBig);
   std::string theirs(kBig / 3 * 4 + 8, '\0');
   const double openssl = bestOf3([&] {
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(theirs.data()),
                      reinterpret_cast<unsigned char const*>(data.elements()),
                      static_cast<int>(kBig));
   });
   // What a wrapper around OpenSSL that returns a fresh text would pay.
   const double freshOpenssl = bestOf3([&] {
      std::string text(kBig / 3 * 4 + 5, '\0');
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                      reinterpret_cast<unsigned char const*>(data.elements()),
                      static_cast<int>(kBig));
      benchmark::DoNotOptimize(text);
   });
   const SxString ours = measure(state, [&] { return VoBase64::encode(data); },
                                 {{"x_openssl", openssl},
                                  {"x_memcpy_time", memcpySeconds()},
                                  {"x_openssl_fresh", freshOpenssl},
                                  {"x_memcpy_fresh_time", freshMemcpySeconds()},
                                  {"x_floor_time", floorSeconds(kBig / 3 * 4 + 1)}});
   state.counters["same"] = ours == theirs.c_str();
}
BENCHMARK(encode)->Apply(bothHugePageSettings);

void decode(benchmark::State& state) {
   useHugePages(state, 0);
   SxString const& text = bigText();
   std::string theirs(kBig + 8, '\0');
   const double openssl = bestOf3([&] {
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(theirs.data()),
                      reinterpret_cast<unsigned char const*>(text.utf8()),
                      static_cast<int>(text.getNBytes()));
   });
   const double freshOpenssl = bestOf3([&] {
      std::string bytes(kBig + 8, '\0');
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                      reinterpret_cast<unsigned char const*>(text.utf8()),
                      static_cast<int>(text.getNBytes()));
      benchmark::DoNotOptimize(bytes);
   });
   const SxArray<char> ours = measure(state, [&] { return VoBase64::decode(text); },
                                      {{"x_openssl", openssl},
                                       {"x_memcpy_time", memcpySeconds()},
                                       {"x_openssl_fresh", freshOpenssl},
                                       {"x_memcpy_fresh_time", freshMemcpySeconds()},
                                       {"x_floor_time", floorSeconds(kBig)}});
   state.counters["same"] = std::equal(ours.begin(), ours.end(), theirs.begin());
}
BENCHMARK(decode)->Apply(bothHugePageSettings);

// The plain loop once per size and direction: at 64 MiB it takes many seconds. Short inputs
// take the best of several runs.
struct Reference {
   SxArray<char> input;
   SxArray<char> output;
   double seconds = 1e300;
};

Reference const& plainRsa(std::ptrdiff_t size, bool decrypt) {
   static std::map<std::pair<std::ptrdiff_t, bool>, Reference> cache;
   auto [it, added] = cache.try_emplace({size, decrypt});
   Reference& r = it->second;
   if (added) {
      r.input = decrypt ? plainRsa(size, false).output : randomData(size);
      for (int i = 0; i < (size < kBig ? 20 : 1); ++i)
         r.seconds = std::min(r.seconds, secondsOf([&] {
                                 r.output = vo::test::plain::rsa(r.input, benchKey(), -1, !decrypt);
                              }));
   }
   return r;
}

// Times each call on a fresh copy of the input, which the call takes over as a caller would.
template <class Call>
SxArray<char> timeCalls(benchmark::State& state, SxArray<char> const& input, double& seconds,
                        Call&& call) {
   SxArray<char> last;
   double total = 0;
   for (auto _ : state) {
      SxArray<char> copy = input;
      SxArray<char> result;
      const double once = secondsOf([&] { result = call(std::move(copy)); });
      state.SetIterationTime(once);
      total += once;
      last = std::move(result);
   }
   seconds = total / static_cast<double>(state.iterations());
   return last;
}

void rsa(benchmark::State& state) {
   useHugePages(state, 2);
   const std::ptrdiff_t size = state.range(0);
   const bool decrypt = state.range(1) != 0;
   Reference const& reference = plainRsa(size, decrypt);
   double seconds = 0;
   const SxArray<char> ours = timeCalls(state, reference.input, seconds, [&](SxArray<char> data) {
      return decrypt ? VoRSA::decrypt(std::move(data), benchKey(), -1)
                     : VoRSA::encrypt(std::move(data), benchKey(), -1);
   });
   state.counters["x_plain"] = reference.seconds / seconds;
   state.counters["same"] = ours == reference.output;
   // Both sides pay for the fresh memory of a result that is larger than their input; this is
   // what creating it alone costs, and the ratio without it.
   if (!decrypt) {
      const double fresh =
          bestOf3([&] { benchmark::DoNotOptimize(SxArray<char>(ours.getSize())); });
      state.counters["result_alloc_ms"] = fresh * 1e3;
      state.counters["x_plain_beyond_alloc"] = (reference.seconds - fresh) / (seconds - fresh);
   }
}
BENCHMARK(rsa)
    ->ArgNames({"bytes", "decrypt", "huge"})
    ->ArgsProduct({{1024, kBig}, {0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void caesar(benchmark::State& state) {
   useHugePages(state, 1);
   const VoRSAKey key(65537, 123456789, 4294967291ULL);
   const bool decrypt = state.range(0) != 0;
   double seconds = 0;
   const SxArray<char> ours = timeCalls(state, randomData(kBig), seconds, [&](SxArray<char> data) {
      return decrypt ? VoCaesar::decrypt(std::move(data), key, kBig / 8)
                     : VoCaesar::encrypt(std::move(data), key, kBig / 8);
   });
   state.counters["x_memcpy_speed"] = memcpySeconds() / seconds;
   // The plain reference only encrypts: a decryption is right when encrypting it gives the input.
   state.counters["same"] = decrypt
                                ? vo::test::plain::caesar(ours, key, kBig / 8) == randomData(kBig)
                                : ours == vo::test::plain::caesar(randomData(kBig), key, kBig / 8);
}
BENCHMARK(caesar)
    ->ArgNames({"decrypt", "huge"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
