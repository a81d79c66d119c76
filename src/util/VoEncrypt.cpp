// VoEncrypt: the small RSA key pair with its key files, and the Caesar transform.

#include "VoLittleEndian.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sx/SxAtomicFile.h>
#include <sx/SxFileIO.h>
#include <voutil/VoBase64.h>
#include <voutil/VoEncrypt.h>
#include <voutil/VoSysEnv.h>

namespace {

constexpr char kSource[] = "src/util/VoEncrypt";
constexpr unsigned long long kPublicExponent = 65537;
constexpr std::ptrdiff_t kKeyBytes = 24;
constexpr int kKeyFilePermissions = 0600;

// A prime candidate from 32766 on; how far it reaches depends on the runtime's RAND_MAX.
unsigned long long drawCandidate() {
   return 32766 + static_cast<unsigned long long>(std::rand()) % 32770;
}

// d with d * e = 1 modulo phi, by the extended Euclidean algorithm on signed 64-bit numbers.
unsigned long long inverseModulo(long long e, long long phi) {
   long long t = 0;
   long long tNext = 1;
   long long r = phi;
   long long rNext = e;
   while (rNext != 0) {
      const long long k = r / rNext;
      const long long t2 = t - k * tNext;
      t = tNext;
      tNext = t2;
      const long long r2 = r - k * rNext;
      r = rNext;
      rNext = r2;
   }
   if (t < 0)
      t += phi;
   return static_cast<unsigned long long>(t);
}

SxArray<char> keyBytes(VoRSAKey const& key) {
   SxArray<char> bytes(kKeyBytes);
   vo::le::store<uint64_t>(bytes.elements(), key.privateExponent);
   vo::le::store<uint64_t>(bytes.elements() + 8, key.publicExponent);
   vo::le::store<uint64_t>(bytes.elements() + 16, key.modulus);
   return bytes;
}

// s = ((d + e) << 32) + (n << 16) + (e + d), all modulo 2^64.
uint64_t initialShift(VoRSAKey const& key) {
   const uint64_t sum = key.privateExponent + key.publicExponent;
   return (sum << 32) + (key.modulus << 16) + sum;
}

// Adds or subtracts the running shift word by word in the padded copy. The shift does not
// depend on the data, so this is one dependent chain of two cheap steps per word.
template <bool kAdd>
SxArray<char> caesar(SxArray<char> data, VoRSAKey const& key, long long count) {
   const std::ptrdiff_t padded = (data.getSize() + 7) / 8 * 8;
   data.resize(padded);
   const long long words = padded / 8;
   const long long transformed = count < 0 ? 0 : (count > words ? words : count);
   char* at = data.elements();
   uint64_t shift = initialShift(key);
   for (long long i = 0; i < transformed; ++i, at += 8) {
      const uint64_t word = vo::le::load<uint64_t>(at);
      vo::le::store<uint64_t>(at, kAdd ? word + shift : word - shift);
      shift = (shift << 1) + (shift >> 1) + shift;
   }
   return data;
}

} // namespace

template <>
SxTimerNames<Timer::EncryptTimer>::SxTimerNames() {
   regTimer(Timer::KeyGeneration, "RSA Key Generation");
   regTimer(Timer::PrimeCheck, "Prime Number Check");
   regTimer(Timer::PowMod, "b^e mod d");
   regTimer(Timer::Mask, "Data mask");
   regTimer(Timer::Demask, "Data demask");
   regTimer(Timer::Encryption, "Data Encryption");
   regTimer(Timer::Decryption, "Data Decryption");
}

void VoRSAKey::generateKey() {
   SxTakeTime timer(SxTimer::getTimerId(Timer::KeyGeneration));
   std::srand(static_cast<unsigned>(VoSysEnv::getSysTime() & 0xFFFFFFFFULL));
   unsigned long long p = 0;
   while (!isPrime(p))
      p = drawCandidate();
   unsigned long long q = 0;
   while (!isPrime(q) || q == p)
      q = drawCandidate();
   const auto phi = static_cast<long long>((p - 1) * (q - 1));
   modulus = p * q;
   publicExponent = kPublicExponent;
   privateExponent = inverseModulo(static_cast<long long>(kPublicExponent), phi);
}

bool VoRSAKey::isPrime(unsigned long long x) const {
   SxTakeTime timer(SxTimer::getTimerId(Timer::PrimeCheck));
   if (x == 1 || x % 2 == 0 || x % 3 == 0)
      return false;
   const auto limit = static_cast<unsigned long long>(std::sqrt(static_cast<long double>(x)));
   for (unsigned long long i = 5; i <= limit; i += 6)
      if (x % i == 0 || x % (i + 2) == 0)
         return false;
   return true;
}

VoRSAKey VoRSAKey::getPublic() const {
   return VoRSAKey(publicExponent, 0, modulus);
}

VoRSAKey VoRSAKey::getPrivate() const {
   return VoRSAKey(0, privateExponent, modulus);
}

void VoRSAKey::writeKey(SxString base) const {
   struct KeyFile {
      char const* suffix;
      VoRSAKey key;
   };
   const KeyFile files[] = {{".all", *this}, {".priv", getPrivate()}, {".pub", getPublic()}};
   try {
      for (KeyFile const& file : files) {
         const SxString text = VoBase64::encode(keyBytes(file.key));
         // A key file is replaced whole or not at all.
         SxAtomicFile out(base + file.suffix, kKeyFilePermissions);
         out.write(text);
         out.commit();
      }
   } catch (SxException const& e) {
      throw SxException(e, "Cannot write RSA key " + base, kSource);
   }
}

void VoRSAKey::readKey(SxString name) {
   try {
      SxFileIO io;
      io.open(name, "rb", kKeyFilePermissions);
      const SxArray<char> bytes = VoBase64::decode(io.readUtf8());
      if (bytes.getSize() < kKeyBytes)
         throw SxException("The key holds " + SxString(static_cast<long long>(bytes.getSize())) +
                               " bytes instead of 24",
                           kSource);
      privateExponent = vo::le::load<uint64_t>(bytes.elements());
      publicExponent = vo::le::load<uint64_t>(bytes.elements() + 8);
      modulus = vo::le::load<uint64_t>(bytes.elements() + 16);
      io.close();
   } catch (SxException const& e) {
      throw SxException(e, "Cannot read RSA key " + name, kSource);
   }
}

SxArray<char> VoCaesar::encrypt(SxArray<char> data, VoRSAKey const& key, long long count) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Encryption));
   return caesar<true>(std::move(data), key, count);
}

SxArray<char> VoCaesar::decrypt(SxArray<char> data, VoRSAKey const& key, long long count) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Decryption));
   return caesar<false>(std::move(data), key, count);
}
