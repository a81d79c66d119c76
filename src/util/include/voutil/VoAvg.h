#pragma once

#include <cstdint>
#include <sx/SxArray.h>
#include <voutil/VoExport.h>

/// Running statistics of a stream of numbers: mean, population standard deviation, smallest
/// and largest value.
///
/// In the cumulative mode (window size 0) the mean and spread cover every value since the last
/// reset, in constant memory. In the windowed mode they cover the last windowSize values only;
/// the smallest and largest value always cover every value since the last reset. Every call
/// takes constant time. A plain value: one owner, no locking, no exceptions of its own.
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
   // Windowed mode: the window as a ring that fills up to windowSize, oldest at `oldest` once
   // full; accum and accumSq are the sums over it. Cumulative mode: values stays empty and
   // accum and accumSq are the running means of the values and of their squares.
   SxArray<double> values;
   double accum = 0.0;
   double maxValue = 0.0;
   double minValue = 0.0;
   double accumSq = 0.0;
   uint32_t windowSize = 0;
   uint32_t nValues = 0;
   uint32_t oldest = 0;
};
