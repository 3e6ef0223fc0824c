// Which Einstein and source radii describe a lens and a source at all, and the rules every model
// shares at the edges of the source sizes: tiny sources rescaled, huge ones magnified by 1, and
// no mean of the point-lens magnification below 1.
#pragma once

#include <cmath>
#include <limits>

namespace obrivane::models {

// Within a few Einstein radii of the lens A(r) = (1/r)(1 + 3 r^2/8 + ...), so the magnification
// of a source much smaller than the Einstein radius scales as 1/size: A(c u, c rho) = A(u, rho)/c
// to a relative O(max(u, rho)^2). A source below this radius (Einstein radii) is evaluated at
// this scale and scaled back (a relative change of order 1e-120), before the squares and cubes
// of its size underflow.
inline constexpr double small_source_scale = 1e-60;

// The same 1/size law for the far-field series, which squares the separation u: below this
// separation (Einstein radii) it is evaluated here and scaled back.
inline constexpr double small_separation_scale = 1e-100;

// Beyond this source radius (Einstein radii) the magnification exceeds 1 by about 2/(rho^2 F),
// F the source's flux relative to a uniform disk's (the point-lens excess integrates to 2 pi
// over the plane, spread over pi rho^2 F): 2e-16 for F = 1, within the rounding of 1.
inline constexpr double indistinguishable_source_radius = 1e8;

// A mean of the point-lens magnification over a source of nowhere-negative brightness is at
// least 1: rounding (a few ulps, more for very large sources) must not take it below. NaN stays
// NaN.
inline double at_least_one(double magnification) noexcept { return magnification < 1 ? 1 : magnification; }

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
