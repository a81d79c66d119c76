// The bulk loops of the Base64 codec: a portable one, and an AVX2 one chosen at run time on
// processors that have it. Both produce exactly what the character-at-a-time code would.

#include "VoBase64Kernels.h"

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VO_BASE64_X86 1
#endif

namespace vo::base64 {

namespace {

constexpr uint8_t kInvalid = 0xFF;

// Two characters for each 12-bit half of a 3-byte group, stored in memory order.
constexpr std::array<uint16_t, 4096> makePairTable() {
   std::array<uint16_t, 4096> table{};
   for (unsigned v = 0; v < 4096; ++v) {
      const auto first = static_cast<uint8_t>(kAlphabet[v >> 6]);
      const auto second = static_cast<uint8_t>(kAlphabet[v & 63]);
      // Written with memcpy, so the first character must land at the lower address.
      table[v] =
          static_cast<uint16_t>(std::endian::native == std::endian::little ? first | (second << 8)
                                                                           : (first << 8) | second);
   }
   return table;
}
constexpr std::array<uint16_t, 4096> kPairs = makePairTable();

constexpr std::array<uint8_t, 256> makeValueTable() {
   std::array<uint8_t, 256> table{};
   for (uint8_t& v : table)
      v = kInvalid;
   for (unsigned i = 0; i < 64; ++i)
      table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
   return table;
}
constexpr std::array<uint8_t, 256> kValues = makeValueTable();

std::size_t encodePortable(unsigned char const* src, std::size_t length, char* dst,
                           std::size_t room) {
   std::size_t i = 0;
   std::size_t o = 0;
   while (length - i >= 3 && room - o >= 4) {
      const uint32_t group = (uint32_t{src[i]} << 16) | (uint32_t{src[i + 1]} << 8) | src[i + 2];
      std::memcpy(dst + o, &kPairs[group >> 12], 2);
      std::memcpy(dst + o + 2, &kPairs[group & 0xFFF], 2);
      i += 3;
      o += 4;
   }
   return i;
}

std::size_t decodePortable(char const* src, std::size_t length, unsigned char* dst,
                           std::size_t room) {
   std::size_t i = 0;
   std::size_t o = 0;
   while (length - i >= 4 && (dst == nullptr || room - o >= 3)) {
      const uint32_t a = kValues[static_cast<uint8_t>(src[i])];
      const uint32_t b = kValues[static_cast<uint8_t>(src[i + 1])];
      const uint32_t c = kValues[static_cast<uint8_t>(src[i + 2])];
      const uint32_t d = kValues[static_cast<uint8_t>(src[i + 3])];
      if ((a | b | c | d) & 0xC0)
         break;
      if (dst != nullptr) {
         const uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
         dst[o] = static_cast<unsigned char>(group >> 16);
         dst[o + 1] = static_cast<unsigned char>(group >> 8);
         dst[o + 2] = static_cast<unsigned char>(group);
      }
      i += 4;
      o += 3;
   }
   return i;
}

#ifdef VO_BASE64_X86

// 24 bytes to 32 characters per step. Each 32-bit lane takes one 3-byte group a b c, arranged
// as b a c b so that its two 16-bit halves hold a:b and b:c; two multiplies then move the four
// 6-bit fields into the four bytes, and a 16-entry table adds each field's offset to ASCII.
__attribute__((target("avx2"))) std::size_t encodeAvx2(unsigned char const* src, std::size_t length,
                                                       char* dst, std::size_t room) {
   const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0,
                                           2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
   // Offsets by class: 0 for a-z, 1..10 for 0-9, 11 for '+', 12 for '/', 13 for A-Z.
   const __m256i offsets =
       _mm256_setr_epi8(71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0, 71, -4, -4,
                        -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0);
   std::size_t i = 0;
   std::size_t o = 0;
   // The second half is loaded from 12 bytes on, so 28 bytes must be readable.
   while (length - i >= 28 && room - o >= 32) {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<__m128i const*>(src + i));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<__m128i const*>(src + i + 12));
      const __m256i in = _mm256_shuffle_epi8(
          _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), spread);
      const __m256i outer = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0fc0fc00)),
                                               _mm256_set1_epi32(0x04000040));
      const __m256i inner = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003f03f0)),
                                               _mm256_set1_epi32(0x01000010));
      const __m256i fields = _mm256_or_si256(outer, inner);
      __m256i cls = _mm256_subs_epu8(fields, _mm256_set1_epi8(51));
      const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), fields);
      cls = _mm256_or_si256(cls, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
      const __m256i chars = _mm256_add_epi8(fields, _mm256_shuffle_epi8(offsets, cls));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + o), chars);
      i += 24;
      o += 32;
   }
   return i;
}

// 32 characters to 24 bytes per step. A character is valid when the bit sets looked up by its
// low and its high nibble do not meet; its value is the character plus an offset chosen by the
// high nibble ('/' gets its own). Two multiply-adds join the 6-bit values into 24-bit groups.

// Nonzero bytes where a character is not in the alphabet.
__attribute__((target("avx2"))) inline __m256i foreignCharacters(__m256i in) {
   const __m256i byLow =
       _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                        0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                        0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
   const __m256i byHigh =
       _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                        0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                        0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
   const __m256i nibble = _mm256_set1_epi8(0x0F);
   const __m256i high = _mm256_and_si256(_mm256_srli_epi32(in, 4), nibble);
   return _mm256_and_si256(_mm256_shuffle_epi8(byLow, _mm256_and_si256(in, nibble)),
                           _mm256_shuffle_epi8(byHigh, high));
}

// The 24 bytes of 32 valid characters, in the low 24 bytes.
__attribute__((target("avx2"))) inline __m256i decodedBytes(__m256i in) {
   const __m256i offsets =
       _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4, -65,
                        -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
   const __m256i pack = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2,
                                         1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
   const __m256i high = _mm256_and_si256(_mm256_srli_epi32(in, 4), _mm256_set1_epi8(0x0F));
   const __m256i slash = _mm256_cmpeq_epi8(in, _mm256_set1_epi8('/'));
   const __m256i values =
       _mm256_add_epi8(in, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(high, slash)));
   const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
   const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
   return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, pack),
                                      _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
}

// Exactly 24 bytes: the caller's buffer beyond the output stays untouched.
__attribute__((target("avx2"))) inline void store24(unsigned char* dst, __m256i bytes) {
   _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(bytes));
   _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), _mm256_extracti128_si256(bytes, 1));
}

__attribute__((target("avx2"))) std::size_t decodeAvx2(char const* src, std::size_t length,
                                                       unsigned char* dst, std::size_t room) {
   std::size_t i = 0;
   std::size_t o = 0;
   // Two blocks per step while both are clean: one test, and the first block's store may spill
   // 8 bytes, since the second's overwrites them.
   while (length - i >= 64 && (dst == nullptr || room - o >= 48)) {
      const __m256i first = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(src + i));
      const __m256i second = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(src + i + 32));
      const __m256i foreign = _mm256_or_si256(foreignCharacters(first), foreignCharacters(second));
      if (!_mm256_testz_si256(foreign, foreign))
         break;
      if (dst != nullptr) {
         _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + o), decodedBytes(first));
         store24(dst + o + 24, decodedBytes(second));
      }
      i += 64;
      o += 48;
   }
   while (length - i >= 32 && (dst == nullptr || room - o >= 24)) {
      const __m256i in = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(src + i));
      const __m256i foreign = foreignCharacters(in);
      if (!_mm256_testz_si256(foreign, foreign))
         break;
      if (dst != nullptr)
         store24(dst + o, decodedBytes(in));
      i += 32;
      o += 24;
   }
   return i;
}

// Asked of the processor on first use. The compiler's own check would link in a constructor
// that queries the processor whenever the library loads, and on a virtual machine each query
// traps to the host, which every program's start-up would pay.
bool processorHasAvx2() {
   unsigned a = 0, b = 0, c = 0, d = 0;
   // The processor has AVX and the system saves its registers (XSAVE enabled)...
   if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX))
      return false;
   unsigned xcr0 = 0, high = 0;
   __asm__("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
   if ((xcr0 & 0x6) != 0x6) // ...with the SSE and AVX state among what it saves
      return false;
   return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2);
}

#endif

constexpr Kernels kPortable{encodePortable, decodePortable};
#ifdef VO_BASE64_X86
constexpr Kernels kAvx2{encodeAvx2, decodeAvx2};
#endif

Kernels const* fastestSupported() {
#ifdef VO_BASE64_X86
   if (processorHasAvx2())
      return &kAvx2;
#endif
   return &kPortable;
}

std::atomic<Kernels const*>& current() {
   static std::atomic<Kernels const*> kernels{fastestSupported()};
   return kernels;
}

} // namespace

int valueOf(char ch) {
   const uint8_t value = kValues[static_cast<uint8_t>(ch)];
   return value == kInvalid ? -1 : value;
}

bool isSupported(Kernel kernel) {
   if (kernel == Kernel::Portable)
      return true;
#ifdef VO_BASE64_X86
   return processorHasAvx2();
#else
   return false;
#endif
}

Kernels const& active() {
   return *current().load(std::memory_order_relaxed);
}

void select(Kernel kernel) {
#ifdef VO_BASE64_X86
   if (kernel == Kernel::Avx2 && processorHasAvx2()) {
      current().store(&kAvx2, std::memory_order_relaxed);
      return;
   }
#endif
   (void)kernel;
   current().store(&kPortable, std::memory_order_relaxed);
}

void install(Kernels const& kernels) {
   current().store(&kernels, std::memory_order_relaxed);
}

} // namespace vo::base64
