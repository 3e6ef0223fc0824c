// Heyrovsky's closed form is homogeneous of degree zero in (l, r, q), so it can be written in two
// ratios: a = d / (l + r) in [-1, 1], with d = r - l, and b = 2q / (l + r) in [0, inf]. With
//   1 - n = a^2,   1 - m = a^2 (1 + b^2) / (a^2 + b^2),   W = sqrt(a^2 + b^2),
// the magnification is
//   A = (2/pi) [ (b^2/2) K(m) + a^2 Pi(n, m) ] / W.
// Both complements lie in [a^2, 1], and a nonzero a between two doubles l != r is at least about
// 2^-54 after l and r are scaled by a power of two, so the integrals are always taken far from
// overflow and underflow. Only b spans the whole exponent range; it is carried as b/2 and never
// squared: for |a| <= b the ratio rho = a/b gives
//   (b^2/2)/W = (b/2) / sqrt(1 + rho^2),   a^2/W = a rho / sqrt(1 + rho^2),
// and for |a| > b the ratio tau = b/|a| gives
//   (b^2/2)/W = (b/2) tau / sqrt(1 + tau^2),   a^2/W = |a| / sqrt(1 + tau^2).
// The integrals are taken in Carlson's form from the complements,
//   K(m) = R_F(0, 1-m, 1),   Pi(n, m) = K(m) + (n/3) R_J(0, 1-m, 1, 1-n).
#include "models/thin_ring_rescaled.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/elliprj.hpp"

namespace obrivane::models {

namespace {

// Lengths in this range need no scaling: every step below then stays a normal double. Scaling by
// a power of two is exact, so both ways give the same bits; the scaling only costs time.
bool moderate(double x) { return x == 0 || (x >= 0x1p-250 && x <= 0x1p250); }

struct Ratios {
  double ls, rs;  // l and r, scaled alike
  double half_b;  // q / (l + r)
};

Ratios ratios(double l, double r, double re, double rstar) {
  if (moderate(l) && moderate(r) && moderate(re) && moderate(rstar)) {
    return {l, r, (re / rstar) / (l + r)};
  }
  // Scale l and r by a power of two so that the larger lies in [1/2, 1), and form q = re / rstar
  // from mantissas and exponents apart, so that neither q nor q / (l + r) overflows or
  // underflows before the final scaling.
  int geometry_exponent = 0;
  (void)std::frexp(std::max(l, r), &geometry_exponent);
  const double ls = std::ldexp(l, -geometry_exponent);
  const double rs = std::ldexp(r, -geometry_exponent);
  int re_exponent = 0;
  int rstar_exponent = 0;
  const double re_mantissa = std::frexp(re, &re_exponent);
  const double rstar_mantissa = std::frexp(rstar, &rstar_exponent);
  return {ls, rs,
          std::ldexp((re_mantissa / rstar_mantissa) / (ls + rs),
                     re_exponent - rstar_exponent - geometry_exponent)};
}

}  // namespace

ModelResult<double> thin_ring_rescaled(double l, double r, double re, double rstar) {
  constexpr double two_over_pi = 2 * std::numbers::inv_pi;

  const auto [ls, rs, half_b] = ratios(l, r, re, rstar);
  const double sum = ls + rs;
  const double a = (rs - ls) / sum;
  const double abs_a = std::fabs(a);
  const double n = ((ls * 4) * rs) / (sum * sum);
  const double one_minus_n = a * a;

  double k_weight = 0;
  double p_weight = 0;
  double one_minus_m = 0;
  if (abs_a * 0.5 <= half_b) {
    const double rho = (a * 0.5) / half_b;
    const double root = std::sqrt(1 + rho * rho);
    const double inverse_b = 0.5 / half_b;  // at most 1/|a|, so at most about 2^54
    k_weight = half_b / root;
    p_weight = (a * rho) / root;
    one_minus_m = (one_minus_n * (1 + inverse_b * inverse_b)) / (1 + rho * rho);
  } else {
    const double b = half_b + half_b;  // below |a| <= 1
    const double tau = b / abs_a;
    const double root = std::sqrt(1 + tau * tau);
    k_weight = (half_b * tau) / root;
    p_weight = abs_a / root;
    one_minus_m = (1 + b * b) / (1 + tau * tau);
  }

  const numeric::EllipticResult first_kind = numeric::elliprf(0, one_minus_m, 1);
  if (!first_kind.ok()) return ModelError{first_kind.message()};
  const numeric::EllipticResult third_kind_rj = numeric::elliprj(0, one_minus_m, 1, one_minus_n);
  if (!third_kind_rj.ok()) return ModelError{third_kind_rj.message()};
  const double k = first_kind.value();
  const double p = k + (n * third_kind_rj.value()) / 3;

  // 2/pi is applied to the integrals (both at least pi/2) before the weights, so that the sum
  // overflows only where the magnification does.
  return k_weight * (k * two_over_pi) + p_weight * (p * two_over_pi);
}

}  // namespace obrivane::models
