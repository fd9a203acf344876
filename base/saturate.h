#pragma once
// Saturating float-to-integer conversion: a plain cast of NaN or of an out-of-range value
// is undefined behaviour in C++. NaN gives 0; values beyond the range clamp to its ends;
// the fraction is truncated toward zero, as a cast does.

#include <cmath>
#include <concepts>
#include <limits>

namespace base {

template <std::integral Int> constexpr Int saturating_cast(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  // The bounds as doubles: max() of a 64-bit type rounds up to 2^63 or 2^64, so compare with >=.
  constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
  if (value <= lo) {
    return std::numeric_limits<Int>::min();
  }
  if (value >= hi) {
    return std::numeric_limits<Int>::max();
  }
  return static_cast<Int>(value);
}

} // namespace base
