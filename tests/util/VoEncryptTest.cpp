#include "common/FaultInjectingOS.h"
#include "common/Messages.h"
#include "common/TempDir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>
#include <voutil/VoEncrypt.h>

namespace {

using namespace vo::test;

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
   EXPECT_EQ(key.publicExponent, 65537u);
   // The modulus splits into two distinct primes from the drawing range.
   unsigned long long p = 32766;
   while (key.modulus % p != 0)
      ++p;
   const unsigned long long q = key.modulus / p;
   EXPECT_TRUE(key.isPrime(p) && key.isPrime(q));
   EXPECT_NE(p, q);
   EXPECT_LE(q, 65535u);
   EXPECT_EQ(key.publicExponent * key.privateExponent % ((p - 1) * (q - 1)), 1u);
}

TEST(VoRSAKey, KeyFilesRoundTripAndFailuresKeepTheKey) {
   const TempDir dir;
   const VoRSAKey key(65537, 0x0123456789ABCDEFULL, 0xFEDCBA9876543210ULL);
   key.writeKey(dir.file("k").c_str());
   const std::pair<const char*, VoRSAKey> files[] = {
       {"k.all", key}, {"k.pub", key.getPublic()}, {"k.priv", key.getPrivate()}};
   for (const auto& [name, expected] : files) {
      VoRSAKey read(1, 2, 3);
      read.readKey(dir.file(name).c_str());
      EXPECT_EQ(read, expected) << name;
   }

   const std::string shortKey = dir.file("short.pub");
   writeFile(shortKey, "YWJj");
   VoRSAKey kept(1, 2, 3);
   EXPECT_EQ(messagesOf([&] { kept.readKey(shortKey.c_str()); }),
             (Messages{"Cannot read RSA key " + shortKey, "The key holds 3 bytes instead of 24"}));
   EXPECT_EQ(kept, VoRSAKey(1, 2, 3));
   const SxString noDir = dir.file("no/such/dir/k").c_str();
   EXPECT_EQ(messagesOf([&] { kept.writeKey(noDir); }).front(),
             "Cannot write RSA key " + noDir.str());
   // Neither a directory nor a device is read as a key.
   const std::vector<std::string> notFiles = {dir.path().string()
#ifndef _WIN32
                                                  ,
                                              "/dev/zero"
#endif
   };
   for (const std::string& name : notFiles) {
      const Messages messages = messagesOf([&] { kept.readKey(name.c_str()); });
      ASSERT_EQ(messages.size(), 2u) << name;
      EXPECT_EQ(messages[0], "Cannot read RSA key " + name);
      EXPECT_TRUE(messages[1].starts_with("Can't ")) << messages[1];
   }
#ifndef _WIN32
   EXPECT_EQ(messagesOf([&] { kept.readKey(dir.path().string().c_str()); })[1],
             "Can't read from file '" + dir.path().string() + "' : Is a directory");
#endif
}

// A failed write names the key file it was at; every key file still holds a whole key, the one
// that failed the key it had before.
TEST(VoRSAKey, WriteFaultsLeaveEveryKeyFileWhole) {
   const TempDir dir;
   const SxString base = dir.file("k").c_str();
   const VoRSAKey before(65537, 11, 12), after(65537, 21, 22);
   for (const WriteFault& fault : writeFaults(true)) {
      before.writeKey(base);
      FaultInjectingOS os;
      const Messages messages = [&] {
         ScopedOS installed(os);
         fault.arm(os);
         return messagesOf([&] { after.writeKey(base); });
      }();
      ASSERT_TRUE(os.fired()) << fault.what;
      const std::string failed = base.str() + (fault.skip == 0 ? ".all" : ".priv");
      if (fault.harmless())
         EXPECT_EQ(messages, Messages{}) << fault.what;
      else
         EXPECT_EQ(messages, (Messages{"Cannot write RSA key " + base.str(),
                                       "Can't write to file '" + failed +
                                           "' : " + std::strerror(fault.error)}))
             << fault.what;
      VoRSAKey all;
      all.readKey(base + ".all");
      EXPECT_EQ(all, fault.harmless() || fault.skip > 0 ? after : before) << fault.what;
      VoRSAKey pub;
      pub.readKey(base + ".pub");
      EXPECT_EQ(pub, (fault.harmless() ? after : before).getPublic()) << fault.what;
   }
}

TEST(VoRSA, PowMod) {
   EXPECT_EQ(VoRSA::powMod(2, 10, 1000), 24u);
   EXPECT_EQ(VoRSA::powMod(12345, 678, 1), 0u);
   EXPECT_EQ(VoRSA::powMod(0, 0, 7), 1u);
   EXPECT_EQ(VoRSA::powMod(5, 0, 1), 0u);
   EXPECT_EQ(VoRSA::powMod(0, 0, 0), 1u);
   EXPECT_EQ(VoRSA::powMod(3, 5, 0), 243u);
}

TEST(VoRSA, PhasesAreTimed) {
   const Timer::EncryptTimer phases[] = {Timer::PowMod, Timer::Mask, Timer::Demask,
                                         Timer::Encryption, Timer::Decryption};
   int64_t expected[] = {2, 1, 1, 1, 1};
   for (std::size_t i = 0; i < std::size(phases); ++i)
      expected[i] += timerCount(phases[i]);
   const VoRSAKey key(65537, 65537, 4294967291ULL);
   (void)VoRSA::decrypt(VoRSA::encrypt(SxArray<char>(4), key, 1), key, 1);
   for (std::size_t i = 0; i < std::size(phases); ++i)
      EXPECT_EQ(timerCount(phases[i]), expected[i]) << i;
}

// The transforms of several threads share the phase timers.
TEST(VoRSA, TransformsRunOnSeveralThreads) {
   VoRSAKey key;
   key.generateKey();
   const SxArray<char> data(3000);
   auto work = [&] {
      for (int i = 0; i < 20; ++i) {
         EXPECT_EQ(VoRSA::decrypt(VoRSA::encrypt(data, key, -1), key, -1), data);
         EXPECT_EQ(VoCaesar::decrypt(VoCaesar::encrypt(data, key, 375), key, 375), data);
      }
   };
   const std::jthread other(work);
   work();
}

} // namespace
