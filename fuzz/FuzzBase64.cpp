// The Base64 decoder and encoder against the plain character-at-a-time algorithms, on both
// kernels: the same results, the same messages, the same bytes written into the target.

#include "VoBase64Kernels.h"
#include "common/PlainCodecs.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include <voutil/VoBase64.h>

namespace {

namespace plain = vo::test::plain;
using plain::outcomeOf;

void check(bool same) {
   if (!same)
      std::abort();
}

void compareDecoding(std::string const& text, long long size) {
   check(outcomeOf([&] { return VoBase64_pton(text.c_str(), nullptr, 0); }) ==
         plain::pton(text.c_str(), nullptr, 0));
   std::vector<unsigned char> expected(static_cast<std::size_t>(size) + 1, 0x5A);
   std::vector<unsigned char> actual = expected;
   check(outcomeOf([&] { return VoBase64_pton(text.c_str(), actual.data(), size); }) ==
         plain::pton(text.c_str(), expected.data(), size));
   check(actual == expected);
}

void compareEncoding(std::string const& bytes, long long size) {
   auto const* src = reinterpret_cast<unsigned char const*>(bytes.data());
   const auto n = static_cast<long long>(bytes.size());
   std::string expected(static_cast<std::size_t>(size) + 1, '#');
   std::string actual = expected;
   check(outcomeOf([&] { return VoBase64_ntop(src, n, actual.data(), size); }) ==
         plain::ntop(src, n, expected.data(), size));
   check(actual == expected);
}

} // namespace

// The first two bytes choose the target sizes; the rest is the text and the bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   if (size < 2)
      return 0;
   const std::string body(reinterpret_cast<char const*>(data) + 2, size - 2);
   const std::string text = body.substr(0, body.find('\0'));
   const long long decodeSize = data[0] % 2 == 0 ? static_cast<long long>(text.size()) : data[0];
   const long long full = static_cast<long long>((body.size() + 2) / 3 * 4 + 1);
   const long long encodeSize = data[1] < 200 ? full : full - data[1] % 8;
   for (auto kernel : {vo::base64::Kernel::Portable, vo::base64::Kernel::Avx2}) {
      if (!vo::base64::isSupported(kernel))
         continue;
      vo::base64::select(kernel);
      compareDecoding(text, decodeSize);
      compareEncoding(body, encodeSize < 0 ? 0 : encodeSize);
   }
   return 0;
}
