#pragma once

#include <bit>
#include <cstdint>
#include <limits>
#include <sx/SxArray.h>
#include <voutil/VoExport.h>

/// Running statistics of a stream of numbers: mean, population standard deviation, smallest
/// and largest value.
///
/// In the cumulative mode (window size 0) the mean and spread cover every value since the last
/// reset, in constant memory. In the windowed mode they cover the last windowSize values only
/// (memory for windowSize values is taken at construction); the smallest and largest value
/// always cover every value since the last reset. Every call takes constant time; update is
/// inline, so that a loop of updates keeps the sums in registers. A plain value: one owner, no
/// locking, no exceptions of its own. Values must be numbers (not NaN).
class VOUTIL_API VoAvg {
public:
   /// The cumulative mode.
   VoAvg();
   /// The windowed mode over the last window values; 0 gives the cumulative mode.
   explicit VoAvg(unsigned int window);
   ~VoAvg();

   /// Forgets every value; the mode and the window size stay.
   void reset();
   /// Adds one value.
   void update(double value);
   /// Adds the value converted to the nearest double (above 2^53 the lowest bits are lost).
   void update(unsigned long long value);
   /// Adds the value converted to the nearest double.
   void update(long long value);

   /// The mean; 0.0 before the first value.
   [[nodiscard]] double getAverage() const;
   /// The population standard deviation; a spread below 0.01 (variance up to 0.0001) reads as
   /// 0.0, and so does an empty object.
   [[nodiscard]] double getSigma() const;
   /// The smallest value since the reset; 0.0 before the first value.
   [[nodiscard]] double getMin() const;
   /// The largest value since the reset; 0.0 before the first value.
   [[nodiscard]] double getMax() const;

private:
   // Windowed mode: the window as a ring of windowSize slots, allocated up front, filled from
   // slot 0 and then overwritten oldest first; accum and accumSq are the sums over the nValues
   // values in it. The ring holds the values' bit patterns, so that stores to it cannot alias
   // the double members. Cumulative mode: values stays empty and accum and accumSq are the
   // running means of the values and of their squares. Both modes: the extremes start from the
   // infinities, so that the first value takes both without a test; the getters read 0.0
   // while there is no value.
   SxArray<uint64_t> values;
   double accum = 0.0;
   double maxValue = -std::numeric_limits<double>::infinity();
   double minValue = std::numeric_limits<double>::infinity();
   double accumSq = 0.0;
   uint32_t windowSize = 0;
   uint32_t nValues = 0;
   uint32_t oldest = 0;
};

inline void VoAvg::update(double value) {
   // One path without calls or data-dependent branches: a loop of updates then keeps every
   // member in registers.
   minValue = minValue > value ? value : minValue;
   maxValue = value > maxValue ? value : maxValue;
   if (windowSize == 0) {
      const double n = nValues;
      accum = (n * accum + value) / (n + 1);
      accumSq = (n * accumSq + value * value) / (n + 1);
      ++nValues;
      return;
   }
   // While the ring fills, `oldest` is the next free slot and nothing is evicted; once it is
   // full, the slot of the oldest value is overwritten. The sums follow the window with one
   // addition each: the evicted value goes out as the new one comes in.
   const uint32_t at = oldest;
   const bool full = nValues >= windowSize;
   const double evicted = full ? std::bit_cast<double>(values[at]) : 0.0;
   values[at] = std::bit_cast<uint64_t>(value);
   oldest = at + 1 == windowSize ? 0 : at + 1;
   nValues += full ? 0 : 1;
   accum += value - evicted;
   accumSq += value * value - evicted * evicted;
}
