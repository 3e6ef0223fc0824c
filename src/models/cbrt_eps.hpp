// The step of the central difference taken on the radial magnification: the cube root of the
// machine epsilon balances truncation (of order h^2) against rounding (of order eps/h), and the
// factor |x| + 1 scales it with the radius.
#pragma once

#include <cmath>

namespace obrivane::models {

// cbrt(2^-52), about 6.06e-6: computed once per process on first use (the initialisation of a
// function-local static is thread-safe), read-only afterwards.
inline double CBRT_EPS() noexcept {
  static const double value = std::cbrt(0x1p-52);
  return value;
}

inline double derivative_step(double x) noexcept { return (std::fabs(x) + 1) * CBRT_EPS(); }

}  // namespace obrivane::models
