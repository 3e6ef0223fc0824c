// Witt & Mao (1994) give the magnification of a uniform disk of radius rho at distance u from a
// point lens as (1/pi) [c_E E(m) - c_K K(m) + c_P Pi(n, m)], with s = u + rho, d = u - rho,
// S = sqrt(4 + d^2),
//   c_E = s S / (2 rho^2),  c_K = d (8 + u^2 - rho^2) / (2 rho^2 S),  c_P = 2 d^2 (1 + rho^2) / (rho^2 s S),
//   n = 4 u rho / s^2,  m = 4 n / S^2,  1 - n = d^2 / s^2,  1 - m = d^2 (4 + s^2) / (s^2 S^2).
// In Bulirsch's form, with kc = sqrt(1 - m), E = cel(kc, 1, 1, kc^2), K = cel(kc, 1, 1, 1) and
// Pi = cel(kc, p, 1, 1) with p = 1 - n, and cel is linear in its last two arguments, so
//   c_E E - c_K K = cel(kc, 1, c_E - c_K, c_E kc^2 - c_K),
// whose two coefficients simplify, by S^2 = 4 + d^2 and s^2 - d^2 = 4 u rho, to
//   c_E - c_K = 2 (3 rho - u) / (rho^2 S),  c_E kc^2 - c_K = -2 d (u + 3 rho) / (rho^2 s S).
// K is also cel(kc, p, 1, p), so a multiple of it may move between the two integrals. Moving the
// whole c_P K leaves Pi - K = cel(kc, p, 0, 1 - p) = cel(kc, p, 0, n), with a non-negative
// integrand, and makes the other integral's coefficients, by (3 rho - u) s + d^2 = 4 rho^2,
//   rho^2 S^2 / s  and  d rho (d rho - 4) / s   (times 2 / (rho^2 S)).
// Hence
//   A = 2 / (pi rho^2 S s) [cel(kc, 1, rho^2 S^2, d rho (d rho - 4)) + cel(kc, p, 0, b)],
//   b = 4 u rho d^2 (1 + rho^2) / s^2,  sqrt(p) = |d| / s,  kc = (|d| / s) sqrt(4 + s^2) / S,
// both integrals from one loop. Nothing is formed as a difference of nearly equal numbers: kc and
// sqrt(p) are products of |d| / s, exact to rounding right up to the limb. Inside the limb both
// integrands are positive; outside, the first one's changes sign, and the two integrals cancel
// by a factor up to about 8 at the switch to the mean-value series, u = 4 rho (half the factor
// of the split with c_P Pi on its own).
//
// Written once for any scalar type: with numeric::Dual arguments the same operations carry the
// derivatives in u and rho along (numeric/dual.hpp), the exact derivatives of this closed form. On
// the limb itself (u = rho) those are infinite, and the limit value below has none: a caller that
// wants derivatives handles u = rho on its own.
#pragma once

#include <cmath>
#include <limits>
#include <numbers>
#include <span>
#include <type_traits>

#include "models/disk_mean_value_sum.hpp"
#include "models/source_radius.hpp"
#include "models/uniform_disk_far.hpp"
#include "numeric/dual.hpp"
#include "numeric/legendre/cel_pair.hpp"

namespace obrivane::models::uniform_fast {

inline constexpr double pi = std::numbers::pi;
inline constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Beyond this radius the magnification exceeds 1 by at most 2 / rho^2 = 2e-18 (the point-lens
// excess integrates to 2 pi over the plane, spread over the area pi rho^2), which rounds to 1.
inline constexpr double indistinguishable_radius = 1e9;

// Below this size (rho near the lens, u far from it) both are scaled up by a power of two, exactly,
// to it: within a few Einstein radii A(r) = (1/r) (1 + O(r^2)), so A(c u, c rho) = A(u, rho) / c to a
// relative O(size^2) = 2^-400. The near form squares d, which is at least about epsilon rho, and the
// far series squares u; from this size up neither square comes near underflow.
inline constexpr int smallest_exponent = -200;
inline constexpr double smallest_size = 0x1p-200;

// The limit u -> rho: (2/rho + ((rho^2+1)/rho^2) * 2 atan(rho)) / pi.
template <class Real>
Real on_the_limb(const Real& rho) noexcept {
  using std::atan;
  return (2 / rho + ((rho * rho + 1) / (rho * rho)) * (2 * atan(rho))) / pi;
}

// The closed form's modulus, parameter and coefficients for u > 0 and d = u - rho != 0:
// A = scale (cel(kc, 1, a1, b1) + cel(kc, p, 0, b)), root_p = sqrt(p).
template <class Real>
struct NearForm {
  Real s, root_four_plus_d_squared, root_p, kc, a1, b1, b, scale;
};

template <class Real>
NearForm<Real> near_form(const Real& u, const Real& rho, const Real& d) noexcept {
  using std::fabs;
  using std::fmin;
  using std::sqrt;
  const Real s = u + rho;
  const Real four_plus_d_squared = d * d + 4;
  const Real root_four_plus_d_squared = sqrt(four_plus_d_squared);
  const Real root_p = fabs(d) / s;
  // kc = sqrt(1 - m) <= 1; rounding may take it an ulp above.
  const Real kc = fmin(root_p * (sqrt(s * s + 4) / root_four_plus_d_squared), 1.0);
  const Real d_rho = d * rho;
  const Real b = ((4 * u * rho) * ((d * d) * (rho * rho + 1))) / (s * s);
  const Real a1 = (rho * rho) * four_plus_d_squared;
  const Real b1 = d_rho * (d_rho - 4);
  const Real scale = 2 / (pi * (rho * rho) * (root_four_plus_d_squared * s));
  return {s, root_four_plus_d_squared, root_p, kc, a1, b1, b, scale};
}

// The closed form given d = u - rho as well, for callers that know it more accurately than the
// difference of u and rho (the rim of a concentric disk beside the lens, where the derivatives
// follow ln|d|); u > 0.
template <class Real>
Real near_magnification_across(const Real& u, const Real& rho, const Real& d) noexcept {
  using numeric::value_of;
  using std::sqrt;
  if (value_of(d) == 0) return on_the_limb(rho);
  const NearForm<Real> form = near_form(u, rho, d);
  const numeric::BasicCelPair<Real> integrals = [&] {
    if constexpr (std::is_same_v<Real, double>) {
      return numeric::cel_pair_of<Real>(form.kc, form.root_p, form.a1, form.b1, 0, form.b);
    } else {
      // With derivatives, the first pass's ratios free of d (see cel_pair.hpp): b / p =
      // 4 u rho (rho^2 + 1) and kc / sqrt(p) = sqrt(s^2 + 4) / sqrt(4 + d^2), unless kc was
      // bounded by 1.
      const numeric::CelFirstRatios<Real> ratios{(4 * u * rho) * (rho * rho + 1),
                                                 sqrt(form.s * form.s + 4) / form.root_four_plus_d_squared};
      return numeric::cel_pair_of<Real>(form.kc, form.root_p, form.a1, form.b1, 0, form.b,
                                        value_of(form.kc) < 1 ? &ratios : nullptr);
    }
  }();
  if (!integrals.ok()) return quiet_nan;
  return form.scale * (integrals.unit + integrals.general);
}

template <class Real>
Real near_magnification(const Real& u, const Real& rho) noexcept {
  using numeric::value_of;
  using std::sqrt;
  // A disk centred on the lens: the mean of A(r) over it is sqrt(rho^2 + 4) / rho.
  if (value_of(u) == 0) return sqrt(rho * rho + 4) / rho;
  return near_magnification_across(u, rho, u - rho);
}

// The mean-value series with the uniform disk's unit weights (uniform_disk_far.hpp).
template <class Real>
Real far_magnification(const Real& u, const Real& rho) noexcept {
  static constexpr std::array<double, disk_mean_value_terms> unit_weights = [] {
    std::array<double, disk_mean_value_terms> ones{};
    ones.fill(1.0);
    return ones;
  }();
  const MeanValueSum<Real> sum = mean_value_sum(u, rho, std::span<const double>(unit_weights));
  return sum.point_lens + sum.excess;
}

// A size brought to the exponent smallest_exponent by a power of two.
inline int scale_exponent(double size) noexcept { return smallest_exponent - std::ilogb(size); }

// The magnification before the bound at 1: the series clear of the lens, the closed form closer in.
template <class Real>
Real magnification(const Real& u, const Real& rho) noexcept {
  using numeric::value_of;
  using std::ldexp;
  const double u_value = value_of(u);
  const double rho_value = value_of(rho);
  if (!(u_value >= 0) || !(rho_value > 0) || !std::isfinite(rho_value)) return quiet_nan;
  if (rho_value > indistinguishable_radius || u_value == std::numeric_limits<double>::infinity()) return 1;
  if (rho_value <= far_disk_ratio * u_value) {
    if (u_value >= smallest_size) return far_magnification(u, rho);
    const int exponent = scale_exponent(u_value);
    return ldexp(far_magnification(ldexp(u, exponent), ldexp(rho, exponent)), exponent);
  }
  if (rho_value >= smallest_size) return near_magnification(u, rho);
  const int exponent = scale_exponent(rho_value);
  return ldexp(near_magnification(ldexp(u, exponent), ldexp(rho, exponent)), exponent);
}

// magnification() with d = u - rho given (see near_magnification_across), for rho > 0 finite and
// u >= 0 finite, before the radius beyond which the magnification is 1.
template <class Real>
Real magnification_across(const Real& u, const Real& rho, const Real& d) noexcept {
  using numeric::value_of;
  using std::ldexp;
  const double u_value = value_of(u);
  const double rho_value = value_of(rho);
  if (rho_value <= far_disk_ratio * u_value || u_value == 0) return magnification(u, rho);
  if (rho_value >= smallest_size) return near_magnification_across(u, rho, d);
  const int exponent = scale_exponent(rho_value);
  return ldexp(near_magnification_across(ldexp(u, exponent), ldexp(rho, exponent), ldexp(d, exponent)),
               exponent);
}

}  // namespace obrivane::models::uniform_fast
