#pragma once

#include <algorithm>
#include <cmath>

namespace kabuka {

// The step of a chart's axis: the smallest of 1, 2 or 5 times a power of ten that
// divides `span` into at most `ticks` steps, so the labels are round numbers.
inline double roundStep(double span, int ticks) {
  const double raw = std::max(span, 1e-9) / std::max(ticks, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double factor : {1.0, 2.0, 5.0}) {
    if (factor * power >= raw) {
      return factor * power;
    }
  }
  return 10 * power;
}

}  // namespace kabuka
