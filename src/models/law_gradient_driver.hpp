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
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

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

// The series weights of a law (law_far.hpp's, of its combined moments) and their derivatives in
// its coefficients (law_far_gradient.hpp), from the moments combined with the weights' slopes.
template <std::size_t Terms>
FarLawWeights far_law_weights(const LawTerms<Terms>& law) noexcept {
  const LawMoments moments = combined_moments(law.weights, law.moments);
  FarLawWeights made{far_weights(moments), {}};
  for (std::size_t i = 0; i < 2; ++i) {
    std::array<double, Terms> slopes{};
    for (std::size_t k = 0; k < Terms; ++k) slopes[k] = law.weight_slopes[k][i];
    const LawMoments moment_slopes = combined_moments(slopes, law.moments);
    for (std::size_t l = 1; l <= disk_mean_value_terms; ++l) {
      made.coefficient_slopes[i][l - 1] =
          (static_cast<double>(l + 1) * moment_slopes[l] - made.weights[l - 1] * moment_slopes[0]) /
          moments[0];
    }
  }
  return made;
}

// The weights of the law last differentiated far from the source on this thread: a light curve
// takes many separations with one law, and making the weights costs about as much as the series
// at a point far out. They depend on the law's terms alone, compared bit for bit (the moments by
// their address and the term's flux, which tells a power-2 law's exponents apart), so keeping
// them changes no result.
template <std::size_t Terms>
const FarLawWeights& far_law_weights_kept(const LawTerms<Terms>& law) noexcept {
  struct Kept {
    std::array<std::uint64_t, 4 * Terms> bits;
    std::array<const LawMoments*, Terms> moments;
    FarLawWeights weights;
    bool valid;
  };
  thread_local Kept kept{};
  std::array<std::uint64_t, 4 * Terms> bits{};
  for (std::size_t k = 0; k < Terms; ++k) {
    bits[4 * k] = std::bit_cast<std::uint64_t>(law.weights[k]);
    bits[4 * k + 1] = std::bit_cast<std::uint64_t>(law.weight_slopes[k][0]);
    bits[4 * k + 2] = std::bit_cast<std::uint64_t>(law.weight_slopes[k][1]);
    bits[4 * k + 3] = std::bit_cast<std::uint64_t>(law.fluxes[k]);
  }
  if (!(kept.valid && kept.bits == bits && kept.moments == law.moments)) {
    kept.weights = far_law_weights(law);
    kept.bits = bits;
    kept.moments = law.moments;
    kept.valid = true;
  }
  return kept.weights;
}

template <std::size_t Terms>
LawGradient far_gradient(double u, double a, const LawTerms<Terms>& law, const FarSeries* formed) noexcept {
  const FarLawSlopes slopes = far_law_slopes(u, a, far_law_weights_kept(law), formed);
  return {0, slopes.d_u, slopes.d_a, slopes.d_coefficients};
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
