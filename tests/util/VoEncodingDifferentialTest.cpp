// The fast paths of Base64, RSA and Caesar against the plain algorithms on random inputs,
// counts, target sizes and keys: the same results, the same messages, the same bytes written.

#include "VoBase64Kernels.h"
#include "common/PlainCodecs.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>
#include <voutil/VoBase64.h>
#include <voutil/VoEncrypt.h>

namespace {

namespace plain = vo::test::plain;
using plain::outcomeOf;
using Kernel = vo::base64::Kernel;

class Differential : public ::testing::Test {
protected:
   void TearDown() override { vo::base64::select(Kernel::Avx2); }

   std::vector<Kernel> kernels() const {
      std::vector<Kernel> all{Kernel::Portable};
      if (vo::base64::isSupported(Kernel::Avx2))
         all.push_back(Kernel::Avx2);
      return all;
   }

   std::string randomBytes(std::size_t n) {
      std::string s(n + 8, '\0');
      for (std::size_t i = 0; i < n; i += 8) {
         const uint64_t word = random_();
         std::memcpy(s.data() + i, &word, 8);
      }
      s.resize(n);
      return s;
   }

   // A valid encoding, often with whitespace, a wrong character or a cut, so that every rule
   // of the decoder and every place of the handover between kernel and state machine is met.
   std::string randomText() {
      const std::string bytes = randomBytes(random_() % 130);
      std::string text(bytes.size() / 3 * 4 + 5, '\0');
      const auto n = plain::ntop(reinterpret_cast<unsigned char const*>(bytes.data()),
                                 static_cast<long long>(bytes.size()), text.data(),
                                 static_cast<long long>(text.size()));
      text.resize(static_cast<std::size_t>(n.length));
      static const char kOdd[] = " \t\n\r=\v\f*-_.\x80\xff";
      for (int edits = static_cast<int>(random_() % 4); edits > 0; --edits) {
         const std::size_t at = text.empty() ? 0 : random_() % (text.size() + 1);
         switch (random_() % 4) {
         case 0:
            text.insert(at, 1, kOdd[random_() % (sizeof kOdd - 1)]);
            break;
         case 1:
            if (at < text.size())
               text[at] = static_cast<char>(random_() % 127 + 1);
            break;
         case 2:
            text.resize(at);
            break;
         default:
            text.insert(at, 1, ' ');
            break;
         }
      }
      return text;
   }

   long long randomCount(long long blocks) {
      return static_cast<long long>(random_() % static_cast<uint64_t>(blocks + 4)) - 2;
   }

   VoRSAKey randomKey() {
      static const std::vector<unsigned long long> primes = [] {
         std::vector<unsigned long long> found;
         const VoRSAKey key;
         for (unsigned long long x = 32766; x < 65536; ++x)
            if (key.isPrime(x))
               found.push_back(x);
         return found;
      }();
      const auto pick = [&] { return primes[random_() % primes.size()]; };
      switch (random_() % 4) {
      case 0: { // a matching pair, as generateKey makes them
         const unsigned long long p = pick();
         unsigned long long q = pick();
         while (q == p)
            q = pick();
         const unsigned long long phi = (p - 1) * (q - 1);
         long long t = 0, tNext = 1, r = static_cast<long long>(phi), rNext = 65537;
         while (rNext != 0) {
            const long long k = r / rNext;
            t = std::exchange(tNext, t - k * tNext);
            r = std::exchange(rNext, r - k * rNext);
         }
         const auto d =
             static_cast<unsigned long long>(t < 0 ? t + static_cast<long long>(phi) : t);
         return VoRSAKey(65537, d, p * q);
      }
      case 1: // exponents that do not belong together, any modulus below 2^32
         return VoRSAKey(random_(), random_() >> (random_() % 64), random_() >> 32);
      case 2: // small and even moduli
         return VoRSAKey(random_() % 20, random_() % 70000, random_() % 5);
      default: // moduli beyond the contract: the products wrap as powMod's do
         return VoRSAKey(random_() % 300, random_() % 300, random_() >> (random_() % 20));
      }
   }

   std::mt19937_64 random_{20261206};
};

TEST_F(Differential, Base64DecodeMatchesThePlainDecoder) {
   for (const Kernel kernel : kernels()) {
      vo::base64::select(kernel);
      for (int i = 0; i < 60000; ++i) {
         const std::string text = randomText();
         const plain::Outcome expectCount = plain::pton(text.c_str(), nullptr, 0);
         ASSERT_EQ(outcomeOf([&] { return VoBase64_pton(text.c_str(), nullptr, 0); }), expectCount)
             << text;
         const long long size = static_cast<long long>(random_() % (text.size() + 2));
         std::vector<unsigned char> expected(static_cast<std::size_t>(size) + 1, 0xA5);
         std::vector<unsigned char> actual = expected;
         const plain::Outcome outcome = plain::pton(text.c_str(), expected.data(), size);
         ASSERT_EQ(outcomeOf([&] { return VoBase64_pton(text.c_str(), actual.data(), size); }),
                   outcome)
             << text << " into " << size;
         ASSERT_EQ(actual, expected) << text;
      }
   }
}

TEST_F(Differential, Base64EncodeMatchesThePlainEncoder) {
   for (const Kernel kernel : kernels()) {
      vo::base64::select(kernel);
      for (int i = 0; i < 40000; ++i) {
         const std::string bytes = randomBytes(random_() % 100);
         auto const* src = reinterpret_cast<unsigned char const*>(bytes.data());
         const auto n = static_cast<long long>(bytes.size());
         const long long full = plain::ntop(src, n, nullptr, 0).length + 1;
         const long long size =
             random_() % 4 == 0 ? static_cast<long long>(random_() % full) : full;
         std::string expected(static_cast<std::size_t>(full) + 1, '#');
         std::string actual = expected;
         const plain::Outcome outcome = plain::ntop(src, n, expected.data(), size);
         ASSERT_EQ(outcomeOf([&] { return VoBase64_ntop(src, n, actual.data(), size); }), outcome);
         ASSERT_EQ(actual, expected);
         if (outcome.error.empty()) {
            ASSERT_EQ(VoBase64::encode(SxArray<char>(bytes.data(), n)), SxString(expected.c_str()));
            const SxArray<char> back = VoBase64::decode(SxString(expected.c_str()));
            ASSERT_EQ(std::string(back.begin(), back.end()), bytes);
         }
      }
   }
}

TEST_F(Differential, RsaMatchesThePerBlockLoop) {
   for (int i = 0; i < 30000; ++i) {
      const VoRSAKey key = randomKey();
      const std::string bytes = randomBytes(random_() % 48);
      const SxArray<char> data(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
      const long long count = randomCount(data.getSize() / 2 + 1);
      const SxArray<char> encrypted = VoRSA::encrypt(data, key, count);
      ASSERT_EQ(encrypted, plain::rsaEncrypt(data, key, count));
      ASSERT_EQ(VoRSA::decrypt(encrypted, key, count), plain::rsaDecrypt(encrypted, key, count));
      ASSERT_EQ(VoRSA::decrypt(data, key, count), plain::rsaDecrypt(data, key, count));
   }
}

TEST_F(Differential, RsaTablesOfLongInputsMatchThePerBlockLoop) {
   for (int i = 0; i < 8; ++i) {
      const VoRSAKey key = randomKey();
      // Few distinct blocks, so that the tables are reused many times.
      SxArray<char> data(20000);
      for (char& c : data)
         c = static_cast<char>(random_() % 3);
      const long long count = i % 2 == 0 ? -1 : static_cast<long long>(random_() % 10000);
      const SxArray<char> encrypted = VoRSA::encrypt(data, key, count);
      ASSERT_EQ(encrypted, plain::rsaEncrypt(data, key, count));
      ASSERT_EQ(VoRSA::decrypt(encrypted, key, count), plain::rsaDecrypt(encrypted, key, count));
   }
}

TEST_F(Differential, CaesarMatchesThePlainShift) {
   for (int i = 0; i < 220000; ++i) {
      const VoRSAKey key(random_(), random_(), random_());
      const std::string bytes = randomBytes(random_() % 40);
      const SxArray<char> data(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
      const long long count = static_cast<long long>(random_() % ((bytes.size() + 7) / 8 + 1));
      const SxArray<char> encrypted = VoCaesar::encrypt(data, key, count);
      ASSERT_EQ(encrypted, plain::caesar(data, key, count, +1));
      ASSERT_EQ(VoCaesar::decrypt(encrypted, key, count), plain::caesar(data, key, 0, +1));
   }
}

} // namespace
