// VoRSA: modular powers over 16-bit and 32-bit blocks.
//
// The transforms give exactly what powMod gives block by block, only faster: for the usual
// moduli (odd, below 2^32) the powers run in Montgomery form, which needs no division per step;
// encryption of long inputs remembers the power of each of the 65536 possible blocks, and
// decryption remembers every block it has raised, so no block is raised twice in one call.

#include "VoLittleEndian.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>
#include <voutil/VoEncrypt.h>

namespace {

// Arithmetic modulo an odd m with 1 < m < 2^32 on numbers times R = 2^32 (Montgomery form).
class Montgomery {
public:
   explicit Montgomery(uint32_t m) : m_(m) {
      // Newton's iteration doubles the correct low bits of m's inverse, from 3 to 48.
      uint32_t inverse = m;
      for (int i = 0; i < 4; ++i)
         inverse *= 2 - m * inverse;
      inverse_ = inverse;
      rSquared_ = static_cast<uint32_t>((0 - uint64_t{m}) % m);
      one_ = static_cast<uint32_t>((uint64_t{1} << 32) % m);
   }

   // base ^ exponent mod m for any 32-bit base and an exponent above 0.
   [[nodiscard]] uint32_t pow(uint32_t base, uint64_t exponent) const {
      uint32_t b = reduce(uint64_t{base} * rSquared_);
      uint32_t r = one_;
      for (;;) {
         if (exponent & 1)
            r = reduce(uint64_t{r} * b);
         exponent >>= 1;
         if (exponent == 0)
            return reduce(r);
         b = reduce(uint64_t{b} * b);
      }
   }

private:
   // t / R mod m for t < m * R. With u = t / m mod R, t - u * m is a multiple of R, so its
   // quotient is the difference of the high halves, which lies between -m and m.
   [[nodiscard]] uint32_t reduce(uint64_t t) const {
      const uint32_t u = static_cast<uint32_t>(t) * inverse_;
      const auto high = static_cast<uint32_t>(t >> 32);
      const auto subtrahend = static_cast<uint32_t>((uint64_t{u} * m_) >> 32);
      return high >= subtrahend ? high - subtrahend : high - subtrahend + m_;
   }

   uint32_t m_;
   uint32_t inverse_ = 0;
   uint32_t rSquared_ = 0;
   uint32_t one_ = 0;
};

// Raises blocks (below 2^32) to one exponent modulo one modulus, as VoRSA::powMod does. For
// such bases and a modulus below 2^32 no product wraps, so powMod gives the true power.
class BlockPower {
public:
   BlockPower(unsigned long long exponent, unsigned long long modulus)
       : exponent_(exponent), modulus_(modulus) {
      if (modulus > 1 && modulus <= UINT32_MAX && (modulus & 1) != 0 && exponent != 0)
         montgomery_.emplace(static_cast<uint32_t>(modulus));
   }

   [[nodiscard]] unsigned long long operator()(uint32_t block) const {
      return montgomery_ ? montgomery_->pow(block, exponent_)
                         : VoRSA::powMod(block, exponent_, modulus_);
   }

   // Whether every power lies below 2^32 - 1, which leaves that value free as a marker.
   [[nodiscard]] bool leavesMarkerFree() const { return modulus_ != 0 && modulus_ <= UINT32_MAX; }

private:
   unsigned long long exponent_;
   unsigned long long modulus_;
   std::optional<Montgomery> montgomery_;
};

// The powers of 16-bit blocks, each computed on first use. Worth its 256 KiB from a few
// thousand blocks on; shorter inputs raise their blocks directly.
class SmallBlockTable {
public:
   static constexpr long long kWorthFrom = 4096;
   static constexpr uint32_t kUnknown = UINT32_MAX;

   explicit SmallBlockTable(BlockPower const& power) : power_(power), powers_(65536, kUnknown) {}

   uint32_t operator()(uint16_t block) {
      uint32_t& known = powers_[block];
      if (known == kUnknown)
         known = static_cast<uint32_t>(power_(block));
      return known;
   }

private:
   BlockPower const& power_;
   std::vector<uint32_t> powers_;
};

// The low 16 bits of the powers of the 32-bit blocks met so far, in an open-addressed table.
// Ciphertext of one key holds at most 65536 distinct blocks; the table grows with what it meets
// up to kMaxSlots (32 MiB), beyond which new blocks are raised without being remembered.
class BlockMemo {
public:
   explicit BlockMemo(long long blocks) {
      std::size_t slots = 64;
      const auto wanted = static_cast<std::size_t>(std::min<long long>(blocks, 65536)) * 2;
      while (slots < wanted)
         slots *= 2;
      resize(slots);
   }

   uint16_t operator()(uint32_t block, BlockPower const& power) {
      std::size_t i = slotOf(block);
      for (uint64_t slot; (slot = slots_[i]) != 0; i = (i + 1) & mask_)
         if (static_cast<uint32_t>(slot) == block)
            return static_cast<uint16_t>(slot >> 32);
      const auto value = static_cast<uint16_t>(power(block));
      if (2 * (used_ + 1) > slots_.size()) {
         if (slots_.size() >= kMaxSlots)
            return value;
         resize(slots_.size() * 2);
         i = freeSlotOf(block);
      }
      slots_[i] = kUsed | (uint64_t{value} << 32) | block;
      ++used_;
      return value;
   }

private:
   static constexpr std::size_t kMaxSlots = std::size_t{1} << 22;
   static constexpr uint64_t kUsed = uint64_t{1} << 63;

   [[nodiscard]] std::size_t slotOf(uint32_t block) const {
      return static_cast<std::size_t>((block * 0x9E3779B97F4A7C15ULL) >> shift_);
   }

   [[nodiscard]] std::size_t freeSlotOf(uint32_t block) const {
      std::size_t i = slotOf(block);
      while (slots_[i] != 0)
         i = (i + 1) & mask_;
      return i;
   }

   void resize(std::size_t slots) {
      std::vector<uint64_t> old = std::move(slots_);
      slots_.assign(slots, 0);
      mask_ = slots - 1;
      shift_ = 64;
      for (std::size_t n = slots; n > 1; n /= 2)
         --shift_;
      for (uint64_t slot : old)
         if (slot != 0)
            slots_[freeSlotOf(static_cast<uint32_t>(slot))] = slot;
   }

   std::vector<uint64_t> slots_;
   std::size_t mask_ = 0;
   int shift_ = 64;
   std::size_t used_ = 0;
};

// -1, any other negative count and any count above the number of blocks mean all blocks.
long long blocksToTransform(long long count, long long blocks) {
   return count < 0 || count > blocks ? blocks : count;
}

// The frame of both directions: pads the copy to whole In blocks, lets raise turn the first
// blocks into Out blocks, timed as PowMod, and copies the rest, timed as copyPhase.
template <class In, class Out, class Raise>
SxArray<char> transformBlocks(SxArray<char> data, long long count, Timer::EncryptTimer copyPhase,
                              Raise&& raise) {
   constexpr auto kIn = static_cast<std::ptrdiff_t>(sizeof(In));
   constexpr auto kOut = static_cast<std::ptrdiff_t>(sizeof(Out));
   data.resize((data.getSize() + kIn - 1) / kIn * kIn);
   const long long blocks = data.getSize() / kIn;
   const long long raised = blocksToTransform(count, blocks);
   SxArray<char> out(kOut * blocks);
   char const* in = data.elements();
   char* to = out.elements();
   {
      SxTakeTime powModTimer(SxTimer::getTimerId(Timer::PowMod));
      raise(in, to, raised);
   }
   {
      SxTakeTime copyTimer(SxTimer::getTimerId(copyPhase));
      for (long long i = raised; i < blocks; ++i)
         vo::le::store<Out>(to + kOut * i, static_cast<Out>(vo::le::load<In>(in + kIn * i)));
   }
   return out;
}

} // namespace

unsigned long long VoRSA::powMod(unsigned long long base, unsigned long long exponent,
                                 unsigned long long modulus) {
   if (modulus == 1)
      return 0;
   unsigned long long result = 1;
   // A modulus of 0 has no reduction to make: the products are left as they wrap.
   const auto reduce = [modulus](unsigned long long x) { return modulus == 0 ? x : x % modulus; };
   while (exponent != 0) {
      if (exponent & 1)
         result = reduce(result * base);
      base = reduce(base * base);
      exponent >>= 1;
   }
   return result;
}

SxArray<char> VoRSA::encrypt(SxArray<char> data, VoRSAKey const& key, long long count) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Encryption));
   const BlockPower power(key.publicExponent, key.modulus);
   return transformBlocks<uint16_t, uint32_t>(
       std::move(data), count, Timer::Mask, [&](char const* in, char* to, long long raised) {
          if (raised >= SmallBlockTable::kWorthFrom && power.leavesMarkerFree()) {
             SmallBlockTable table(power);
             for (long long i = 0; i < raised; ++i)
                vo::le::store<uint32_t>(to + 4 * i, table(vo::le::load<uint16_t>(in + 2 * i)));
          } else {
             for (long long i = 0; i < raised; ++i)
                vo::le::store<uint32_t>(
                    to + 4 * i, static_cast<uint32_t>(power(vo::le::load<uint16_t>(in + 2 * i))));
          }
       });
}

SxArray<char> VoRSA::decrypt(SxArray<char> data, VoRSAKey const& key, long long count) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Decryption));
   const BlockPower power(key.privateExponent, key.modulus);
   return transformBlocks<uint32_t, uint16_t>(
       std::move(data), count, Timer::Demask, [&](char const* in, char* to, long long raised) {
          BlockMemo memo(raised);
          for (long long i = 0; i < raised; ++i)
             vo::le::store<uint16_t>(to + 2 * i, memo(vo::le::load<uint32_t>(in + 4 * i), power));
       });
}
