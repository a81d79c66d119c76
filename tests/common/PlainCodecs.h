#pragma once

// The Base64, RSA and Caesar algorithms written the plain way, one character or block at a
// time, as references for the library's fast paths. Failures come back as their message.

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>
#include <sx/SxArray.h>
#include <sx/SxException.h>
#include <voutil/VoEncrypt.h>

namespace vo::test::plain {

inline constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr char kNoSpace[] = "Not enough space in the output buffer";

/// A returned length, or the message of the failure.
struct Outcome {
   long long length = 0;
   std::string error;
   bool operator==(Outcome const&) const = default;
   friend std::ostream& operator<<(std::ostream& out, Outcome const& o) {
      return out << o.length << " \"" << o.error << '"';
   }
};

/// The outcome of a call of the library: its result, or the message of its SxException.
template <class Call>
Outcome outcomeOf(Call&& call) {
   try {
      return {call(), {}};
   } catch (SxException const& e) {
      return {0, e.getMessage().str()};
   }
}

inline Outcome ntop(unsigned char const* src, long long srcLength, char* target,
                    long long targetSize) {
   const long long length = (srcLength + 2) / 3 * 4;
   if (target == nullptr)
      return {length, {}};
   for (long long i = 0; i < srcLength; i += 3) {
      if (i / 3 * 4 + 4 > targetSize)
         return {0, kNoSpace};
      uint32_t group = 0; // up to three bytes, zeros after the end
      for (long long k = i; k < i + 3; ++k)
         group = group << 8 | (k < srcLength ? src[k] : 0u);
      // A character for every 6 bits that hold input, then '=' up to the full group.
      for (int c = 0; c < 4; ++c)
         target[i / 3 * 4 + c] = c <= srcLength - i ? kAlphabet[group >> (18 - 6 * c) & 63] : '=';
   }
   if (length >= targetSize)
      return {0, kNoSpace};
   target[length] = '\0';
   return {length, {}};
}

// Every character appends its 6 bits to the output. The bytes they touch are written at once,
// bits not yet known as zeros, so each character needs room for all of them.
inline Outcome pton(char const* src, unsigned char* target, long long targetSize) {
   constexpr char kSpaces[] = " \t\n\v\f\r";
   long long bits = 0;
   long long position = 0;
   for (; *src != '\0' && *src != '='; ++src) {
      ++position;
      if (std::strchr(kSpaces, *src) != nullptr)
         continue;
      char const* found = std::strchr(kAlphabet, *src);
      if (found == nullptr)
         return {0, "A non-base64 character at char " + std::to_string(position)};
      if (target != nullptr && (bits + 6 + 7) / 8 > targetSize)
         return {0, kNoSpace};
      // Bit by bit, the highest first; a byte is zeroed as its first bit goes in.
      for (int b = 5; b >= 0; --b, ++bits)
         if (target != nullptr)
            target[bits / 8] =
                static_cast<unsigned char>((bits % 8 == 0 ? 0 : target[bits / 8]) |
                                           ((found - kAlphabet) >> b & 1) << (7 - bits % 8));
   }
   const long long index = bits / 8;
   const long long state = bits / 6 % 4;
   if (*src == '\0')
      return state == 0 ? Outcome{index, {}}
                        : Outcome{0, "Partial bytes after the end of the string"};
   if (state < 2)
      return {0, state == 0 ? "Invalid = in first position" : "Invalid = in second position"};
   std::string_view rest(src + 1);
   if (state == 2) {
      const std::size_t next = rest.find_first_not_of(kSpaces);
      if (next == rest.npos || rest[next] != '=')
         return {0, "Expected trailing ="};
      rest.remove_prefix(next + 1);
   }
   if (rest.find_first_not_of(kSpaces) != rest.npos)
      return {0, "Expected nothing or whitespaces after trailing ="};
   if (target != nullptr && target[index] != 0)
      return {0, "Extra data after the last full byte"};
   return {index, {}};
}

inline uint64_t loadLE(SxArray<char> const& a, std::ptrdiff_t at, int bytes) {
   uint64_t v = 0;
   for (int i = bytes - 1; i >= 0; --i)
      v = (v << 8) | static_cast<unsigned char>(a[at + i]);
   return v;
}

inline void storeLE(SxArray<char>& a, std::ptrdiff_t at, int bytes, uint64_t v) {
   for (int i = 0; i < bytes; ++i, v >>= 8)
      a[at + i] = static_cast<char>(v & 0xFF);
}

/// The per-block loop of both RSA directions, raising blocks with VoRSA::powMod: encryption
/// turns 2-byte blocks into 4-byte ones with the public exponent, decryption the reverse with
/// the private one. The blocks from count on are only widened or cut; a negative count raises all.
inline SxArray<char> rsa(SxArray<char> data, VoRSAKey const& key, long long count, bool encrypt) {
   const int inBytes = encrypt ? 2 : 4;
   const int outBytes = encrypt ? 4 : 2;
   data.resize((data.getSize() + inBytes - 1) / inBytes * inBytes);
   const long long blocks = data.getSize() / inBytes;
   SxArray<char> out(blocks * outBytes);
   for (long long i = 0; i < blocks; ++i) {
      const uint64_t block = loadLE(data, i * inBytes, inBytes);
      const uint64_t exponent = encrypt ? key.publicExponent : key.privateExponent;
      storeLE(out, i * outBytes, outBytes,
              count < 0 || i < count ? VoRSA::powMod(block, exponent, key.modulus) : block);
   }
   return out;
}

/// Caesar encryption: the first count words (at most all) shifted up by the running shift.
inline SxArray<char> caesar(SxArray<char> data, VoRSAKey const& key, long long count) {
   data.resize((data.getSize() + 7) / 8 * 8);
   const uint64_t sum = key.privateExponent + key.publicExponent;
   uint64_t s = (sum << 32) + (key.modulus << 16) + sum;
   for (long long i = 0; i < count && i < data.getSize() / 8; ++i) {
      storeLE(data, i * 8, 8, loadLE(data, i * 8, 8) + s);
      s = (s << 1) + (s >> 1) + s;
   }
   return data;
}

} // namespace vo::test::plain
