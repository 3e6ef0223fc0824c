// The rules every law's gradient shares, as brightness_laws.cpp's driver has them for the value:
// no derivative where the value is NaN; derivatives 0 where the magnification is 1 to rounding (an
// infinite separation, a source beyond indistinguishable_source_radius, a separation whose square
// overflows: their derivatives are below 1e-26); the mean-value series clear of the lens by four
// radii and the law's own near integrals closer in; and the tiniest sizes rescaled (below the
// same thresholds as the values). The rescaling rests on A(k u, k rho) = A(u, rho)/k for sizes far
// inside the Einstein radius: the value at (u, rho) is k times that at (k u, k rho), its
// coefficient derivatives k times those there, and its derivatives in u and rho k^2 times those
// there. Here k is a power of two, so that the rescaled geometry is exact: beside the limb the
// derivatives follow ln|u - rho|, and a rounded u/rho would move the lens by a relative epsilon
// rho/|u - rho| of that distance.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>

#include "models/law_far_gradient.hpp"
#include "models/law_gradient_terms.hpp"
#include "models/law_gradients.hpp"
#include "models/source_radius.hpp"
#include "models/uniform_disk_far.hpp"

namespace obrivane::models {

namespace detail {

// Beyond this separation u^2 overflows in the series; the derivatives there are below 1e-700.
inline constexpr double largest_differentiated_separation = 1e150;

// The exponents the rescaled sizes take: 2^-199 (about 1.2e-60) for the radius near the source,
// 2^-332 (about 1.1e-100) for the separation in the far series, just above the thresholds.
inline constexpr int near_exponent = -199;
inline constexpr int far_exponent = -332;

inline LawGradient rescaled(LawGradient gradient, int exponent) noexcept {
  gradient.d_u = std::ldexp(gradient.d_u, 2 * exponent);
  gradient.d_rho = std::ldexp(gradient.d_rho, 2 * exponent);
  for (double& slope : gradient.d_coefficients) slope = std::ldexp(slope, exponent);
  return gradient;
}

template <std::size_t Terms>
LawGradient far_gradient(double u, double a, const LawTerms<Terms>& law, const FarSeries* formed) noexcept {
  std::array<TermIntegral, Terms> terms{};
  const double point_lens_d_u = far_term_integrals(u, a, std::span<const LawMoments* const>(law.moments),
                                                   std::span<TermIntegral>(terms), formed);
  return combined_gradient(law, terms, point_lens_d_u);
}

}  // namespace detail

// `magnification` is the law's value (NaN where it has none), and `far_formed` the far series'
// parts it kept (or null); `near(u, a)` gives the terms' integrals (std::array<TermIntegral,
// Terms>) for a source within four radii of the lens.
template <std::size_t Terms, class Near>
LawGradient law_gradient(double u, double rho, double magnification, const FarSeries* far_formed,
                         const LawTerms<Terms>& law, Near&& near) noexcept {
  constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();
  if (std::isnan(magnification)) return {quiet_nan, quiet_nan, quiet_nan, {quiet_nan, quiet_nan}};
  if (!std::isfinite(u) || rho > indistinguishable_source_radius) return {magnification, 0, 0, {0, 0}};
  LawGradient gradient{};
  if (rho <= far_disk_ratio * u) {
    if (u > detail::largest_differentiated_separation) return {magnification, 0, 0, {0, 0}};
    if (u < small_separation_scale) {
      const int exponent = detail::far_exponent - std::ilogb(u);
      gradient = detail::rescaled(
          detail::far_gradient(std::ldexp(u, exponent), std::ldexp(rho, exponent), law, nullptr), exponent);
    } else {
      gradient = detail::far_gradient(u, rho, law, far_formed);
    }
  } else if (rho < small_source_scale) {
    const int exponent = detail::near_exponent - std::ilogb(rho);
    const std::array<TermIntegral, Terms> terms = near(std::ldexp(u, exponent), std::ldexp(rho, exponent));
    gradient = detail::rescaled(combined_gradient(law, terms, 0.0), exponent);
  } else {
    gradient = combined_gradient(law, near(u, rho), 0.0);
  }
  gradient.magnification = magnification;
  // With the lens over the centre the magnification is even in u: exactly no slope, whatever the
  // rounding of the integrals (the lines through the lens leave one of order epsilon A/rho).
  if (u == 0) gradient.d_u = 0;
  return gradient;
}

}  // namespace obrivane::models
