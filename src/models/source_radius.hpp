// Which Einstein and source radii describe a lens and a source at all.
#pragma once

#include <cmath>
#include <limits>

namespace obrivane::models {

// Both radii must be positive and finite: a negative radius has no meaning, a zero or infinite one
// no finite source radius in Einstein radii, and NaN no value. Every element of a model whose
// radii fail this test is NaN.
inline bool valid_source_radii(double re, double rstar) noexcept {
  return re > 0 && rstar > 0 && std::isfinite(re) && std::isfinite(rstar);
}

// The magnification at separation x (source radii) when valid radii have a ratio rstar/re below
// the smallest double. The source is then so deep inside the Einstein radius that A(r) = 1/r to
// all digits, and any disk magnification is re/(x rstar) times 1 + O(1/x^2): that overflows
// unless x exceeds 1e15, where the correction is below rounding. NaN for a negative or non-finite x.
inline double underflowed_radius_magnification(double x, double re, double rstar) noexcept {
  if (!(x >= 0) || !std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
  return re / (x * rstar);
}

}  // namespace obrivane::models
