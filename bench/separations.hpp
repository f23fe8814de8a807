// The benchmarks' separations: `count` of them spread evenly over
// [low, high], or evenly in its logarithm.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

inline std::vector<double> spread(double low, double high, std::size_t count, bool logarithmic) {
  std::vector<double> l(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double f = (i + 0.5) / count;
    l[i] = logarithmic ? low * std::pow(high / low, f) : low + (high - low) * f;
  }
  return l;
}
