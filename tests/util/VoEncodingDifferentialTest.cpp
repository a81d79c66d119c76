// The fast paths of Base64, RSA and Caesar against the plain algorithms on random inputs,
// counts, target sizes and keys: the same results, the same messages, the same bytes written.

#include "VoBase64Kernels.h"
#include "common/Messages.h"
#include "common/PlainCodecs.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include <voutil/VoBase64.h>
#include <voutil/VoEncrypt.h>

namespace {

using namespace vo::test;
using plain::outcomeOf;
using Kernel = vo::base64::Kernel;

class Differential : public ::testing::Test {
protected:
   void TearDown() override { vo::base64::select(Kernel::Avx2); }

   const std::vector<Kernel> kernels = vo::base64::isSupported(Kernel::Avx2)
                                           ? std::vector{Kernel::Portable, Kernel::Avx2}
                                           : std::vector{Kernel::Portable};

   // Each byte one of 0 to values - 1: few values give long inputs of few distinct blocks.
   SxArray<char> randomBytes(std::size_t n, unsigned values = 256) {
      SxArray<char> bytes(static_cast<std::ptrdiff_t>(n));
      for (char& c : bytes)
         c = static_cast<char>(random_() % values);
      return bytes;
   }

   // A valid encoding, often with whitespace, a wrong character or a cut, so that every rule
   // of the decoder and every place of the handover between kernel and state machine is met.
   // Now and then a long one, which the decoder scans for its end window by window.
   std::string randomText() {
      std::string text =
          VoBase64::encode(randomBytes(random_() % 200 == 0 ? 9000 : random_() % 130)).str();
      static const char kOdd[] = "  \t\n\r=\v\f*-_.\x80\xff";
      for (auto edits = random_() % 4; edits > 0; --edits) {
         const std::size_t at = random_() % (text.size() + 1);
         const auto kind = random_() % 3;
         if (kind == 0)
            text.insert(at, 1, kOdd[random_() % (sizeof kOdd - 1)]);
         else if (kind == 1 && at < text.size())
            text[at] = static_cast<char>(random_() % 127 + 1);
         else if (kind == 2)
            text.resize(at);
      }
      return text;
   }

   // From -2 to two above the number of blocks: negative and large counts mean all blocks.
   long long randomCount(long long blocks) {
      return static_cast<long long>(random_() % static_cast<uint64_t>(blocks + 5)) - 2;
   }

   VoRSAKey randomKey() {
      switch (random_() % 3) {
      case 0: // any exponents, any modulus below 2^32
         return VoRSAKey(random_(), random_() >> (random_() % 64), random_() >> 32);
      case 1: // small and even moduli
         return VoRSAKey(random_() % 20, random_() % 70000, random_() % 5);
      default: // moduli beyond the contract: the products wrap as powMod's do
         return VoRSAKey(random_() % 300, random_() % 300, random_() >> (random_() % 20));
      }
   }

   std::mt19937_64 random_{20261206};
};

TEST_F(Differential, Base64DecodeMatchesThePlainDecoder) {
   for (const Kernel kernel : kernels) {
      vo::base64::select(kernel);
      for (int i = 0; i < 8000; ++i) {
         const std::string text = randomText();
         char const* src = text.c_str();
         ASSERT_EQ(outcomeOf([&] { return VoBase64_pton(src, nullptr, 0); }),
                   plain::pton(src, nullptr, 0))
             << text;
         const auto size = static_cast<long long>(random_() % (text.size() + 2));
         std::vector<unsigned char> expected(static_cast<std::size_t>(size) + 1, 0xA5);
         std::vector<unsigned char> actual = expected;
         ASSERT_EQ(outcomeOf([&] { return VoBase64_pton(src, actual.data(), size); }),
                   plain::pton(src, expected.data(), size))
             << text << " into " << size;
         ASSERT_EQ(actual, expected) << text;

         // The wrapper decodes into a buffer of its own, which is always large enough.
         std::string whole(text.size() + 1, '\0');
         const plain::Outcome decoded =
             plain::pton(src, reinterpret_cast<unsigned char*>(whole.data()), std::ssize(whole));
         SxArray<char> bytes;
         ASSERT_EQ(
             messagesOf([&] { bytes = VoBase64::decode(SxString(text)); }),
             (decoded.error.empty() ? Messages{} : Messages{"Base64 decode error", decoded.error}))
             << text;
         ASSERT_EQ(std::string(bytes.begin(), bytes.end()), whole.substr(0, decoded.length));
      }
   }
}

TEST_F(Differential, Base64EncodeMatchesThePlainEncoder) {
   for (const Kernel kernel : kernels) {
      vo::base64::select(kernel);
      for (int i = 0; i < 10000; ++i) {
         const SxArray<char> bytes = randomBytes(random_() % 100);
         auto const* src = reinterpret_cast<unsigned char const*>(bytes.elements());
         const long long n = bytes.getSize();
         const long long full = plain::ntop(src, n, nullptr, 0).length + 1;
         const long long size = random_() % 4 == 0 ? random_() % full : full;
         std::string expected(static_cast<std::size_t>(full) + 1, '#');
         std::string actual = expected;
         ASSERT_EQ(outcomeOf([&] { return VoBase64_ntop(src, n, actual.data(), size); }),
                   plain::ntop(src, n, expected.data(), size));
         ASSERT_EQ(actual, expected);
         if (size == full) {
            ASSERT_EQ(VoBase64::encode(bytes), SxString(expected.c_str()));
         }
      }
   }
}

TEST_F(Differential, RsaMatchesThePerBlockLoop) {
   const auto matches = [](VoRSAKey const& key, SxArray<char> const& data, long long count) {
      const SxArray<char> encrypted = VoRSA::encrypt(data, key, count);
      return encrypted == plain::rsa(data, key, count, true) &&
             VoRSA::decrypt(encrypted, key, count) == plain::rsa(encrypted, key, count, false) &&
             VoRSA::decrypt(data, key, count) == plain::rsa(data, key, count, false);
   };
   for (int i = 0; i < 10000; ++i) {
      const SxArray<char> data = randomBytes(random_() % 48);
      ASSERT_TRUE(matches(randomKey(), data, randomCount(data.getSize() / 2 + 1))) << i;
   }
   // Long inputs of few distinct blocks: the memos are used many times, and from 65536 blocks
   // on encryption fills a table of all blocks first.
   for (const auto& [size, count] :
        {std::pair{140000, -1LL}, {140000, 66000LL}, {20000, -1LL}, {20000, 7000LL}}) {
      ASSERT_TRUE(matches(randomKey(), randomBytes(size, 3), count)) << size << " bytes, " << count;
   }
}

TEST_F(Differential, CaesarMatchesThePlainShift) {
   for (int i = 0; i < 50000; ++i) {
      const VoRSAKey key(random_(), random_(), random_());
      const SxArray<char> data = randomBytes(random_() % 40);
      const long long count = randomCount((data.getSize() + 7) / 8);
      const SxArray<char> encrypted = VoCaesar::encrypt(data, key, count);
      ASSERT_EQ(encrypted, plain::caesar(data, key, count));
      ASSERT_EQ(VoCaesar::decrypt(encrypted, key, count), plain::caesar(data, key, 0));
   }
}

// A kernel that writes what it should not, so that the encoder's two passes disagree.
TEST_F(Differential, EncodeReportsPassesThatDisagree) {
   static constexpr vo::base64::Kernels kLying{
       [](unsigned char const*, std::size_t, char*, std::size_t) -> std::size_t { return 1; },
       [](char const*, std::size_t length, unsigned char* dst, std::size_t) -> std::size_t {
          return dst == nullptr ? 0 : length / 4 * 4;
       }};
   vo::base64::install(kLying);
   EXPECT_EQ(messagesOf([] { (void)VoBase64::encode(SxArray<char>(4)); }),
             (Messages{"Base64 encode error", "Invalid size of encoded output"}));
}

} // namespace
