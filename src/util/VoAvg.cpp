#include <cmath>
#include <voutil/VoAvg.h>

namespace {
// Spreads below 0.01 are rounding noise of the sums, not information.
constexpr double kMinVariance = 0.0001;
} // namespace

VoAvg::VoAvg() = default;

VoAvg::VoAvg(unsigned int window) : windowSize(window) {}

VoAvg::~VoAvg() = default;

void VoAvg::reset() {
   values.removeAll();
   accum = maxValue = minValue = accumSq = 0.0;
   nValues = 0;
   oldest = 0;
}

void VoAvg::update(double value) {
   if (nValues == 0) {
      minValue = maxValue = value;
   } else {
      if (minValue > value)
         minValue = value;
      if (value > maxValue)
         maxValue = value;
   }
   if (windowSize == 0) {
      const double n = nValues;
      accum = (n * accum + value) / (n + 1);
      accumSq = (n * accumSq + value * value) / (n + 1);
      ++nValues;
      return;
   }
   // The sums follow the window: take the evicted value out, put the new one in.
   if (nValues >= windowSize) {
      double& slot = values[oldest];
      accum -= slot;
      accumSq -= slot * slot;
      slot = value;
      oldest = oldest + 1 == windowSize ? 0 : oldest + 1;
   } else {
      values.append(value);
      ++nValues;
   }
   accum += value;
   accumSq += value * value;
}

void VoAvg::update(unsigned long long value) {
   update(static_cast<double>(value));
}

void VoAvg::update(long long value) {
   update(static_cast<double>(value));
}

double VoAvg::getAverage() const {
   if (windowSize == 0)
      return accum;
   return nValues == 0 ? 0.0 : accum / nValues;
}

double VoAvg::getSigma() const {
   double variance = 0.0;
   if (windowSize == 0) {
      variance = accumSq - accum * accum;
   } else if (nValues > 0) {
      const double mean = accum / nValues;
      variance = accumSq / nValues - mean * mean;
   }
   return variance > kMinVariance ? std::sqrt(variance) : 0.0;
}

double VoAvg::getMin() const {
   return minValue;
}

double VoAvg::getMax() const {
   return maxValue;
}
