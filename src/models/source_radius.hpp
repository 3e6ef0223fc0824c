// Which Einstein and source radii describe a lens and a source at all.
#pragma once

#include <cmath>

namespace obrivane::models {

// Both radii must be positive and finite: a negative radius has no meaning, a zero or infinite one
// no finite source radius in Einstein radii, and NaN no value. Every element of a model whose
// radii fail this test is NaN.
inline bool valid_source_radii(double re, double rstar) noexcept {
  return re > 0 && rstar > 0 && std::isfinite(re) && std::isfinite(rstar);
}

}  // namespace obrivane::models
