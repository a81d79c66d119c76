#include "common/Messages.h"
#include "common/PlainCodecs.h"
#include "common/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sx/SxFileIO.h>
#include <vector>
#include <voutil/VoEncrypt.h>

namespace {

using vo::test::messagesOf;
using Messages = std::vector<std::string>;

SxArray<char> bytesOf(std::string const& s) {
   return SxArray<char>(s.data(), static_cast<std::ptrdiff_t>(s.size()));
}

int64_t timerCount(Timer::EncryptTimer phase) {
   return SxTimer::getGlobalTimer().getCount(SxTimer::getTimerId(phase));
}

TEST(VoRSAKey, IsPrimeByTrialDivision) {
   const VoRSAKey key;
   for (unsigned long long x : {0ULL, 1ULL, 2ULL, 3ULL, 4ULL, 9ULL, 25ULL, 32767ULL, 65535ULL})
      EXPECT_FALSE(key.isPrime(x)) << x;
   for (unsigned long long x : {5ULL, 7ULL, 11ULL, 13ULL, 32771ULL, 65521ULL, 4294967291ULL})
      EXPECT_TRUE(key.isPrime(x)) << x;
}

TEST(VoRSAKey, GeneratesAWorkingPairAndTimesIt) {
   const int64_t generations = timerCount(Timer::KeyGeneration);
   const int64_t primeChecks = timerCount(Timer::PrimeCheck);
   VoRSAKey key;
   key.generateKey();
   EXPECT_EQ(timerCount(Timer::KeyGeneration), generations + 1);
   EXPECT_GE(timerCount(Timer::PrimeCheck), primeChecks + 4);
   EXPECT_EQ(SxTimer::getGlobalTimer().getName(SxTimer::getTimerId(Timer::KeyGeneration)),
             "RSA Key Generation");

   EXPECT_EQ(key.publicExponent, 65537u);
   EXPECT_LT(key.modulus, 1ULL << 32);
   // The modulus splits into two distinct primes from the drawing range.
   unsigned long long p = 32766;
   while (key.modulus % p != 0)
      ++p;
   const unsigned long long q = key.modulus / p;
   EXPECT_TRUE(key.isPrime(p) && key.isPrime(q));
   EXPECT_NE(p, q);
   EXPECT_LE(q, 65535u);
   EXPECT_EQ(key.publicExponent * key.privateExponent % ((p - 1) * (q - 1)), 1u);

   const SxArray<char> data = bytesOf("an odd text");
   SxArray<char> padded = data;
   padded.append('\0');
   EXPECT_EQ(VoRSA::decrypt(VoRSA::encrypt(data, key.getPublic(), -1), key.getPrivate(), -1),
             padded);
}

TEST(VoRSAKey, KeyFilesRoundTrip) {
   const vo::test::TempDir dir;
   const VoRSAKey key(65537, 0x0123456789ABCDEFULL, 0xFEDCBA9876543210ULL);
   key.writeKey(dir.file("k").c_str());
   VoRSAKey read;
   read.readKey(dir.file("k.all").c_str());
   EXPECT_EQ(read, key);
   read.readKey(dir.file("k.pub").c_str());
   EXPECT_EQ(read, key.getPublic());
   read.readKey(dir.file("k.priv").c_str());
   EXPECT_EQ(read, key.getPrivate());
   EXPECT_EQ(read.publicExponent, 0u);
   for (const char* suffix : {".all", ".priv", ".pub"}) {
      const std::string text = vo::test::readFile(dir.file(std::string("k") + suffix));
      EXPECT_EQ(text.size(), 32u);
      EXPECT_EQ(text.find_first_of("\r\n="), std::string::npos);
#ifndef _WIN32
      EXPECT_EQ(std::filesystem::status(dir.file(std::string("k") + suffix)).permissions(),
                std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
   }
}

TEST(VoRSAKey, KeyFileFailuresKeepTheKey) {
   const vo::test::TempDir dir;
   const VoRSAKey old(1, 2, 3);
   VoRSAKey key = old;
   const SxString missing = dir.file("missing.all").c_str();
   const Messages chain = messagesOf([&] { key.readKey(missing); });
   ASSERT_EQ(chain.size(), 2u);
   EXPECT_EQ(chain[0], "Cannot read RSA key " + missing.str());
   EXPECT_EQ(key, old);

   {
      SxFileIO file;
      file.open(dir.file("short.pub").c_str(), "wb");
      file.write(SxString("YWJj"));
   }
   EXPECT_EQ(messagesOf([&] { key.readKey(dir.file("short.pub").c_str()); }),
             (Messages{"Cannot read RSA key " + dir.file("short.pub"),
                       "The key holds 3 bytes instead of 24"}));
   {
      SxFileIO file;
      file.open(dir.file("bad.pub").c_str(), "wb");
      file.write(SxString("YQ="));
   }
   EXPECT_EQ(messagesOf([&] { key.readKey(dir.file("bad.pub").c_str()); }),
             (Messages{"Cannot read RSA key " + dir.file("bad.pub"), "Base64 decode error",
                       "Expected trailing ="}));
   EXPECT_EQ(key, old);

   const SxString noDir = dir.file("no/such/dir/k").c_str();
   EXPECT_EQ(messagesOf([&] { old.writeKey(noDir); }).front(),
             "Cannot write RSA key " + noDir.str());
}

TEST(VoRSA, PowMod) {
   EXPECT_EQ(VoRSA::powMod(2, 10, 1000), 24u);
   EXPECT_EQ(VoRSA::powMod(12345, 678, 1), 0u);
   EXPECT_EQ(VoRSA::powMod(0, 0, 7), 1u);
   EXPECT_EQ(VoRSA::powMod(5, 0, 2), 1u);
   EXPECT_EQ(VoRSA::powMod(0, 0, 0), 1u);
   EXPECT_EQ(VoRSA::powMod(3, 5, 0), 243u);
   EXPECT_EQ(VoRSA::powMod(4294967295ULL, 3, 4294967291ULL), 64u);
}

TEST(VoRSA, BlocksCountsAndPadding) {
   const VoRSAKey key(3, 0, 1000);
   const SxArray<char> encrypted = VoRSA::encrypt(bytesOf(std::string("\x02\x00\x05", 3)), key, -1);
   EXPECT_EQ(encrypted, bytesOf(std::string("\x08\x00\x00\x00\x7d\x00\x00\x00", 8)));
   EXPECT_EQ(VoRSA::encrypt(bytesOf(std::string("\x02\x00\x05", 3)), key, 0),
             bytesOf(std::string("\x02\x00\x00\x00\x05\x00\x00\x00", 8)));
   EXPECT_EQ(VoRSA::decrypt(bytesOf(std::string("\x01\x02\x03\x04\x05", 5)), key, 0),
             bytesOf(std::string("\x01\x02\x05\x00", 4)));
   for (long long count : {-1LL, 0LL, 1LL, 5LL})
      for (auto* transform : {VoRSA::encrypt, VoRSA::decrypt})
         EXPECT_TRUE(transform(SxArray<char>(), key, count).isEmpty());
}

TEST(VoRSA, PhasesAreTimed) {
   const int64_t powMods = timerCount(Timer::PowMod);
   const int64_t masks = timerCount(Timer::Mask);
   const int64_t demasks = timerCount(Timer::Demask);
   const int64_t encryptions = timerCount(Timer::Encryption);
   const int64_t decryptions = timerCount(Timer::Decryption);
   const VoRSAKey key(65537, 65537, 4294967291ULL);
   (void)VoRSA::decrypt(VoRSA::encrypt(bytesOf("abcd"), key, 1), key, 1);
   EXPECT_EQ(timerCount(Timer::PowMod), powMods + 2);
   EXPECT_EQ(timerCount(Timer::Mask), masks + 1);
   EXPECT_EQ(timerCount(Timer::Demask), demasks + 1);
   EXPECT_EQ(timerCount(Timer::Encryption), encryptions + 1);
   EXPECT_EQ(timerCount(Timer::Decryption), decryptions + 1);
   EXPECT_EQ(SxTimer::getGlobalTimer().getName(SxTimer::getTimerId(Timer::PowMod)), "b^e mod d");
}

TEST(VoCaesar, ShiftsWordsAndPads) {
   const VoRSAKey key(65537, 12345, 4294967291ULL);
   const SxArray<char> text = bytesOf("nine char");
   const SxArray<char> padded = bytesOf(std::string("nine char\0\0\0\0\0\0\0", 16));
   EXPECT_EQ(VoCaesar::encrypt(text, key, 0), padded);
   for (long long count : {0LL, 1LL, 2LL}) {
      const SxArray<char> encrypted = VoCaesar::encrypt(text, key, count);
      EXPECT_EQ(encrypted, vo::test::plain::caesar(text, key, count, +1));
      EXPECT_EQ(VoCaesar::decrypt(encrypted, key, count), padded);
   }
   EXPECT_NE(VoCaesar::decrypt(VoCaesar::encrypt(text, key, 2), key.getPublic(), 2), padded);
   EXPECT_EQ(VoCaesar::encrypt(text, VoRSAKey(), 2), padded);
   EXPECT_EQ(VoCaesar::decrypt(text, VoRSAKey(), 2), padded);
   EXPECT_TRUE(VoCaesar::encrypt(SxArray<char>(), key, 0).isEmpty());
}

} // namespace
