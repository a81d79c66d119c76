// Running averages, over everything or over a sliding window.

#include <cmath>
#include <limits>
#include <voutil/VoAvg.h>

namespace {
// Spreads below 0.01 are rounding noise of the sums, not information.
constexpr double kMinVariance = 0.0001;
} // namespace

VoAvg::VoAvg() = default;

VoAvg::VoAvg(unsigned int window) : values(window), windowSize(window) {}

VoAvg::~VoAvg() = default;

void VoAvg::reset() {
   accum = accumSq = 0.0;
   maxValue = -std::numeric_limits<double>::infinity();
   minValue = std::numeric_limits<double>::infinity();
   nValues = 0;
   oldest = 0;
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
   return nValues == 0 ? 0.0 : minValue;
}

double VoAvg::getMax() const {
   return nValues == 0 ? 0.0 : maxValue;
}
