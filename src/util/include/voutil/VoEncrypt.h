#pragma once

#include <sx/SxArray.h>
#include <sx/SxException.h>
#include <sx/SxString.h>
#include <sx/SxTimer.h>
#include <voutil/VoExport.h>

namespace Timer {
/// Key generation, prime tests, modular powers and the RSA and Caesar transforms.
enum EncryptTimer : int {
   KeyGeneration = 0, ///< "RSA Key Generation"
   PrimeCheck = 1,    ///< "Prime Number Check"
   PowMod = 2,        ///< "b^e mod d"
   Mask = 3,          ///< "Data mask"
   Demask = 4,        ///< "Data demask"
   Encryption = 5,    ///< "Data Encryption"
   Decryption = 6     ///< "Data Decryption"
};
} // namespace Timer

template <>
VOUTIL_API SxTimerNames<Timer::EncryptTimer>::SxTimerNames();

/// A small RSA key pair: two primes from 32766 to 65535 make a modulus below 2^32, so every
/// modular product of the transforms fits in 64 bits. The key is a toy: it is drawn from the
/// runtime's rand() seeded with the clock's milliseconds, so two keys generated within the same
/// millisecond are equal. It keys both VoRSA and VoCaesar.
///
/// Key files hold the three fields as 24 little-endian bytes in Base64: 32 characters, no line
/// end. Failures of writeKey and readKey raise "Cannot write RSA key <base>" and "Cannot read RSA
/// key <name>" around their cause.
class VOUTIL_API VoRSAKey {
public:
   /// All fields 0.
   VoRSAKey() = default;
   VoRSAKey(VoRSAKey const&) = default;
   VoRSAKey& operator=(VoRSAKey const&) = default;
   /// Note the order: the public exponent first, although it is the second field.
   VoRSAKey(unsigned long long publicExp, unsigned long long privateExp, unsigned long long mod)
       : privateExponent(privateExp), publicExponent(publicExp), modulus(mod) {}
   ~VoRSAKey() = default;

   /// Replaces the key with a fresh pair: primes p != q drawn with rand() after seeding srand()
   /// with the low 32 bits of VoSysEnv::getSysTime(), public exponent 65537, private exponent
   /// its inverse modulo (p - 1)(q - 1). Timed as KeyGeneration (and PrimeCheck per test).
   void generateKey();
   /// Trial division by 2, 3 and the numbers 6k +- 1 up to the square root. Timed as PrimeCheck.
   [[nodiscard]] bool isPrime(unsigned long long x) const;
   /// The key with the private exponent 0.
   [[nodiscard]] VoRSAKey getPublic() const;
   /// The key with the public exponent 0.
   [[nodiscard]] VoRSAKey getPrivate() const;
   /// Writes base + ".all" (every field), base + ".priv" (public exponent 0) and base + ".pub"
   /// (private exponent 0), in this order, with permissions 0600, overwriting existing files.
   /// Files written before a failure stay.
   void writeKey(SxString base) const;
   /// Replaces the fields with those of the key file name (taken as it is, no suffix added).
   /// A file that does not decode to at least 24 bytes is rejected; on failure the fields keep
   /// their values.
   void readKey(SxString name);

   bool operator==(VoRSAKey const&) const = default;

   unsigned long long privateExponent = 0; ///< d; 0 in a public-only key
   unsigned long long publicExponent = 0;  ///< e, 65537 in generated keys; 0 in a private-only key
   unsigned long long modulus = 0;         ///< n = p * q
};

/// RSA over 16-bit blocks of a byte array: each block is raised to an exponent modulo the key's
/// modulus and stored in 32 bits, so encryption doubles the size and decryption halves it.
///
/// The data is taken by value and padded with zero bytes to whole blocks; blocks are read and
/// written little-endian. A block count of -1 (or any negative count, or one above the number of
/// blocks) transforms every block; with a smaller count only the leading blocks are transformed
/// and the rest is copied: widened with zeros by encrypt, cut to 16 bits by decrypt. The
/// results are exact for every key with a modulus below 2^32, including keys whose exponents
/// do not belong together. Safe to call from several threads at once.
class VOUTIL_API VoRSA {
public:
   /// base ^ exponent mod modulus by square and multiply from the lowest exponent bit, with
   /// 64-bit products (wrapping for bases or moduli of 2^32 and more) and the base reduced only
   /// after its first squaring. A modulus of 1 gives 0 and an exponent of 0 gives 1 otherwise; a
   /// modulus of 0 leaves the products unreduced.
   static unsigned long long powMod(unsigned long long base, unsigned long long exponent,
                                    unsigned long long modulus);
   /// 4 * ceil(size / 2) bytes: blocks raised to the public exponent. Timed as Encryption, with
   /// PowMod over the exponentiations and Mask over the copied blocks.
   static SxArray<char> encrypt(SxArray<char> data, VoRSAKey const& key, long long count);
   /// 2 * ceil(size / 4) bytes: the low 16 bits of the 32-bit blocks raised to the private
   /// exponent. Timed as Decryption, with PowMod and Demask.
   static SxArray<char> decrypt(SxArray<char> data, VoRSAKey const& key, long long count);
};

/// Adds (encrypt) or subtracts (decrypt) a running 64-bit shift derived from all three key
/// fields to each little-endian 64-bit word of the data, padded with zero bytes to whole words.
/// Only the first count words change; count is clamped to the number of words. Decrypting needs
/// the same full key: its halves give a different shift. Safe to call from several threads.
class VOUTIL_API VoCaesar {
public:
   /// Timed as Encryption.
   static SxArray<char> encrypt(SxArray<char> data, VoRSAKey const& key, long long count);
   /// Timed as Decryption.
   static SxArray<char> decrypt(SxArray<char> data, VoRSAKey const& key, long long count);
};
