// VoRSA: modular powers over 16-bit and 32-bit blocks.
//
// The transforms give exactly what powMod gives block by block, only faster. For the usual
// moduli (odd, below 2^32) the powers run in Montgomery form, which needs no division per step,
// several blocks side by side, since every block of a call has the same exponent. Each call
// raises each distinct block once: long encryptions fill a table of all 65536 blocks first,
// everything else remembers its powers in a hash table that grows with the distinct blocks met.
// Decryption writes its result over its own copy of the data.

#include "VoLittleEndian.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>
#include <voutil/VoEncrypt.h>

namespace {

constexpr std::size_t kLanes = 4;

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

   // bases[k] ^ exponent mod m for n <= kLanes bases below 2^32 and an exponent above 0. The
   // lanes take the same steps, so their independent chains overlap in the processor.
   void pow(uint32_t const* bases, uint32_t* results, std::size_t n, uint64_t exponent) const {
      uint32_t b[kLanes];
      uint32_t r[kLanes];
      for (std::size_t k = 0; k < kLanes; ++k) {
         b[k] = reduce(uint64_t{k < n ? bases[k] : 0} * rSquared_);
         r[k] = one_;
      }
      for (;;) {
         if (exponent & 1)
            for (std::size_t k = 0; k < kLanes; ++k)
               r[k] = reduce(uint64_t{r[k]} * b[k]);
         exponent >>= 1;
         if (exponent == 0)
            break;
         for (std::size_t k = 0; k < kLanes; ++k)
            b[k] = reduce(uint64_t{b[k]} * b[k]);
      }
      for (std::size_t k = 0; k < n; ++k)
         results[k] = reduce(r[k]);
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

// Raises blocks (below 2^32) to one exponent modulo one modulus as VoRSA::powMod does, keeping
// the low 32 bits of each power. For such bases and a modulus below 2^32 no product wraps, so
// powMod gives the true power, which Montgomery form computes without dividing.
class BlockPower {
public:
   BlockPower(unsigned long long exponent, unsigned long long modulus)
       : exponent_(exponent), modulus_(modulus) {
      if (modulus > 1 && modulus <= UINT32_MAX && (modulus & 1) != 0 && exponent != 0)
         montgomery_.emplace(static_cast<uint32_t>(modulus));
   }

   void operator()(uint32_t const* bases, uint32_t* results, std::size_t n) const {
      for (std::size_t k = 0; k < n; k += kLanes) {
         const std::size_t lanes = std::min(kLanes, n - k);
         if (montgomery_) {
            montgomery_->pow(bases + k, results + k, lanes, exponent_);
         } else {
            for (std::size_t j = k; j < k + lanes; ++j)
               results[j] = static_cast<uint32_t>(VoRSA::powMod(bases[j], exponent_, modulus_));
         }
      }
   }

private:
   unsigned long long exponent_;
   unsigned long long modulus_;
   std::optional<Montgomery> montgomery_;
};

// What a memo knows about a block: nothing yet, that its power is being computed in the
// current chunk (value is then its place in the chunk's list), or its power.
enum class Known : uint8_t { Nothing, Pending, Power };

struct Lookup {
   static constexpr std::size_t kNoSlot = SIZE_MAX;
   std::size_t slot; // where to note the block, or kNoSlot when the memo is full
   Known known;
   uint32_t value;
};

// The powers of the blocks met so far, in an open-addressed table that grows with them up to
// kMaxSlots (32 MiB); beyond that, new blocks are raised without being remembered. Ciphertext of
// one key holds at most 65536 distinct blocks. A slot packs what is known, the power (as wide as
// the output keeps it) and the block of kBlockBits bits into 64 bits, so a lookup reads one
// cache line.
template <int kBlockBits>
class HashMemo {
public:
   explicit HashMemo(long long blocks) {
      std::size_t slots = 64;
      while (slots < 2 * static_cast<std::size_t>(std::min<long long>(blocks, 65536)))
         slots *= 2;
      resize(slots);
   }

   // Makes sure that n more blocks fit at a load of at most one half, or stops remembering.
   void makeRoom(std::size_t n) {
      while (2 * (used_ + n) > slots_.size() && slots_.size() < kMaxSlots)
         resize(slots_.size() * 2);
      full_ = 2 * (used_ + n) > slots_.size();
   }

   // Asks for the slot of a block that comes soon, so that its cache miss overlaps other work.
   void prefetch(uint32_t block) const {
#if defined(__GNUC__)
      __builtin_prefetch(&slots_[slotOf(block)]);
#else
      (void)block;
#endif
   }

   Lookup find(uint32_t block) const {
      std::size_t i = slotOf(block);
      for (uint64_t slot; (slot = slots_[i]) != 0; i = (i + 1) & mask_)
         if ((slot & kBlockMask) == block)
            return {i, static_cast<Known>(slot >> 62),
                    static_cast<uint32_t>((slot >> kBlockBits) & kValueMask)};
      return {full_ ? Lookup::kNoSlot : i, Known::Nothing, 0};
   }

   void note(std::size_t slot, uint32_t block, Known known, uint32_t value) {
      used_ += slots_[slot] == 0;
      slots_[slot] = (uint64_t{static_cast<uint8_t>(known)} << 62) |
                     ((value & kValueMask) << kBlockBits) | block;
   }

private:
   static constexpr std::size_t kMaxSlots = std::size_t{1} << 22;
   static constexpr uint64_t kBlockMask = (uint64_t{1} << kBlockBits) - 1;
   static constexpr uint64_t kValueMask = (uint64_t{1} << (48 - kBlockBits)) - 1;

   [[nodiscard]] std::size_t slotOf(uint32_t block) const {
      return static_cast<std::size_t>((block * 0x9E3779B97F4A7C15ULL) >> shift_);
   }

   void resize(std::size_t count) {
      std::vector<uint64_t> old = std::exchange(slots_, std::vector<uint64_t>(count, 0));
      mask_ = count - 1;
      shift_ = 64;
      for (std::size_t n = count; n > 1; n /= 2)
         --shift_;
      for (uint64_t slot : old) {
         if (slot == 0)
            continue;
         std::size_t i = slotOf(static_cast<uint32_t>(slot & kBlockMask));
         while (slots_[i] != 0)
            i = (i + 1) & mask_;
         slots_[i] = slot;
      }
   }

   std::vector<uint64_t> slots_; // 0 for a free slot
   std::size_t mask_ = 0;
   int shift_ = 64;
   std::size_t used_ = 0;
   bool full_ = false;
};

// Raises blocks 0 to count - 1 (load(i) gives block i, store(i, power) keeps its power) chunk
// by chunk: the blocks the memo does not know are collected, raised together and noted, and
// the repeats of a block within the chunk wait for its power.
template <class Memo, class Load, class Store>
void raiseBlocks(long long count, BlockPower const& power, Memo& memo, Load&& load, Store&& store) {
   constexpr long long kChunk = 4096;
   constexpr long long kAhead = 16;
   std::vector<uint32_t> bases;
   std::vector<uint32_t> powers;
   std::vector<long long> places;
   std::vector<std::size_t> slots;
   std::vector<std::pair<long long, uint32_t>> repeats;
   for (long long start = 0; start < count; start += kChunk) {
      const long long end = std::min(count, start + kChunk);
      memo.makeRoom(static_cast<std::size_t>(end - start));
      bases.clear();
      places.clear();
      slots.clear();
      repeats.clear();
      for (long long i = start; i < end; ++i) {
         if (i + kAhead < count)
            memo.prefetch(load(i + kAhead));
         const uint32_t block = load(i);
         const Lookup found = memo.find(block);
         if (found.known == Known::Power) {
            store(i, found.value);
         } else if (found.known == Known::Pending) {
            repeats.emplace_back(i, found.value);
         } else {
            if (found.slot != Lookup::kNoSlot)
               memo.note(found.slot, block, Known::Pending, static_cast<uint32_t>(bases.size()));
            bases.push_back(block);
            places.push_back(i);
            slots.push_back(found.slot);
         }
      }
      powers.resize(bases.size());
      power(bases.data(), powers.data(), bases.size());
      for (std::size_t j = 0; j < bases.size(); ++j) {
         store(places[j], powers[j]);
         if (slots[j] != Lookup::kNoSlot)
            memo.note(slots[j], bases[j], Known::Power, powers[j]);
      }
      for (auto const& [place, pending] : repeats)
         store(place, powers[pending]);
   }
}

// -1, any other negative count and any count above the number of blocks mean all blocks.
long long blocksToTransform(long long count, long long blocks) {
   return count < 0 || count > blocks ? blocks : count;
}

// Raises the first count blocks. From 65536 16-bit blocks on, the powers of all possible
// blocks are worth computing up front (several at a time), and the blocks become table lookups;
// shorter inputs and 32-bit blocks remember what they meet.
template <class In, class Load, class Store>
void raiseAll(long long count, BlockPower const& power, Load&& load, Store&& store) {
   if constexpr (sizeof(In) == 2) {
      if (count >= 65536) {
         std::vector<uint32_t> blocks(65536);
         std::iota(blocks.begin(), blocks.end(), 0U);
         std::vector<uint32_t> powers(65536);
         power(blocks.data(), powers.data(), blocks.size());
         for (long long i = 0; i < count; ++i)
            store(i, powers[load(i)]);
         return;
      }
   }
   HashMemo<8 * sizeof(In)> memo(count);
   raiseBlocks(count, power, memo, load, store);
}

// Times one phase of a transform by starting and stopping its id directly: transforms running
// on several threads at once join one interval instead of leaving all but the first untimed.
class PhaseTime {
public:
   explicit PhaseTime(Timer::EncryptTimer phase) : id_(SxTimer::getTimerId(phase)) {
      SxTimer::getGlobalTimer().start(id_);
   }
   ~PhaseTime() { SxTimer::getGlobalTimer().stop(id_); }
   PhaseTime(const PhaseTime&) = delete;
   PhaseTime& operator=(const PhaseTime&) = delete;

private:
   int id_;
};

// The frame of both directions: pads the copy to whole In blocks, raises the first blocks into
// Out blocks, timed as PowMod, and copies the rest, timed as copyPhase. Narrower output is
// written over the copy itself: block i goes where no later block is read.
template <class In, class Out>
SxArray<char> transformBlocks(SxArray<char> data, long long count, Timer::EncryptTimer copyPhase,
                              BlockPower const& power) {
   constexpr auto kIn = static_cast<std::ptrdiff_t>(sizeof(In));
   constexpr auto kOut = static_cast<std::ptrdiff_t>(sizeof(Out));
   data.resize((data.getSize() + kIn - 1) / kIn * kIn);
   const long long blocks = data.getSize() / kIn;
   const long long raised = blocksToTransform(count, blocks);
   SxArray<char> out;
   if constexpr (kOut > kIn)
      out.resize(kOut * blocks);
   char const* in = data.elements();
   char* to = kOut > kIn ? out.elements() : data.elements();
   {
      PhaseTime powModTime(Timer::PowMod);
      raiseAll<In>(
          raised, power,
          [in](long long i) { return static_cast<uint32_t>(vo::le::load<In>(in + kIn * i)); },
          [to](long long i, uint32_t value) {
             vo::le::store<Out>(to + kOut * i, static_cast<Out>(value));
          });
   }
   {
      PhaseTime copyTime(copyPhase);
      for (long long i = raised; i < blocks; ++i)
         vo::le::store<Out>(to + kOut * i, static_cast<Out>(vo::le::load<In>(in + kIn * i)));
   }
   if constexpr (kOut > kIn) {
      return out;
   } else {
      data.resize(kOut * blocks);
      return data;
   }
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
   return transformBlocks<uint16_t, uint32_t>(std::move(data), count, Timer::Mask,
                                              BlockPower(key.publicExponent, key.modulus));
}

SxArray<char> VoRSA::decrypt(SxArray<char> data, VoRSAKey const& key, long long count) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Decryption));
   return transformBlocks<uint32_t, uint16_t>(std::move(data), count, Timer::Demask,
                                              BlockPower(key.privateExponent, key.modulus));
}
