// Heyrovsky's closed form for the magnification of a thin ring of radius r whose centre lies at
// distance l from a point-mass lens (Heyrovsky 2003, ApJ 594, 464), in units of the stellar
// radius with q the Einstein radius in the same unit:
//   A = (2/pi) / ((l + r) sqrt(d^2 + 4q^2)) * (2q^2 K(m) + d^2 Pi(n, m)),   d = r - l,
//   n = 4lr/(l + r)^2,   m = 16 q^2 lr / ((l + r)^2 (d^2 + 4q^2)).
// Near the lens (r close to l) both n and m approach 1, and 1 - n, 1 - m formed from n and m
// lose their digits to cancellation; there the integrals are taken in Carlson's form with the
// complements formed directly from d, so the result stays accurate down to a ring through the
// lens.
#include "models/thin_ring.hpp"

#include <cmath>
#include <limits>

#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/elliprj.hpp"
#include "numeric/legendre/ellipk.hpp"
#include "numeric/legendre/ellippi.hpp"

namespace obrivane::models {
namespace {

constexpr double two_pi = 6.283185307179586;
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Rings closer to the lens than this, absolutely or relative to l + r, use the Carlson form.
constexpr double near_lens_absolute = 1e-5;
constexpr double near_lens_relative = 0.001;

// The expansion about a ring through the lens (the logarithmic divergence at d = 0 and its
// first-order correction), taken about the radius l. Used only where d^2 is 0: a ring exactly
// through the lens gives +inf, l = r = 0 gives NaN.
double ring_through_lens(double l, double d, double q) {
  const double l2 = l * l;
  const double s = l2 + q * q;
  const double w = (1 - d / (l + l)) * ((q + q) / l);
  const double log_term = std::log((l * (8 * q)) / (std::fabs(d) * std::sqrt(s)));
  const double t = 4 * std::atan(l / q);
  const double b = d * (q * (l2 + l2 + q * q) / (l2 * s));
  return b + (w * log_term + t);
}

// 2 pi times the magnification, with K = R_F(0, 1-m, 1) and
// Pi(n, m) = R_F(0, 1-m, 1) + n R_J(0, 1-m, 1, 1-n) / 3, from 1 - n = d^2/(l+r)^2 and
// 1 - m = d^2 ((l+r)^2 + 4q^2) / ((l+r)^2 (d^2 + 4q^2)), which carry no cancellation.
ModelResult<double> near_lens(double l, double r, double d, double q) {
  const double d2 = d * d;
  if (d2 == 0) return ring_through_lens(l, d, q);
  // The closed form assumes l and r of one sign (the general form's sqrt(l r) is NaN otherwise).
  if (l * r < 0) return quiet_nan;

  const double sum = l + r;
  const double sum2 = sum * sum;
  const double four_q2 = (q * q) * 4;
  const double one_minus_n = d2 / sum2;
  const double one_minus_m = (d2 * (sum2 + four_q2)) / (sum2 * (d2 + four_q2));
  if (std::isnan(one_minus_n) || std::isnan(one_minus_m)) return quiet_nan;
  const double n = ((l * 4) * r) / sum2;

  const numeric::EllipticResult first_kind = numeric::elliprf(0, one_minus_m, 1);
  if (!first_kind.ok()) return ModelError{first_kind.message()};
  const numeric::EllipticResult third_kind_rj = numeric::elliprj(0, one_minus_m, 1, one_minus_n);
  if (!third_kind_rj.ok()) return ModelError{third_kind_rj.message()};
  const double k = first_kind.value();
  const double p = k + (n * third_kind_rj.value()) / 3;

  return (4 / (sum * std::sqrt(d2 + four_q2))) * ((q * q + q * q) * k + d2 * p);
}

// 2 pi times the magnification from the Legendre integrals K(m) and Pi(n, m).
ModelResult<double> general(double l, double r, double d, double q) {
  const double q2 = q * q;
  const double d2 = d * d;
  const double four_q2 = q2 * 4;
  const double k = (4 * q / (l + r)) * std::sqrt((l * r) / (d2 + four_q2));
  const double m = k * k;
  // Opposite signs of l and r, an infinite q (rstar = 0) or a non-finite input: no ring.
  if (std::isnan(m)) return quiet_nan;

  const numeric::EllipticResult first_kind = numeric::ellipk(m);
  if (!first_kind.ok()) return ModelError{first_kind.message()};
  const double n = ((l * 4) * r) / ((l + r) * (l + r));
  const numeric::EllipticResult third_kind = numeric::ellippi(n, m);
  if (!third_kind.ok()) return ModelError{third_kind.message()};

  return (4 / ((l + r) * std::sqrt(d2 + four_q2))) *
         ((q2 + q2) * first_kind.value() + d2 * third_kind.value());
}

}  // namespace

ModelResult<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double q = re / rstar;
  const double d = r - l;
  const double distance = std::fabs(d);
  ModelResult<double> scaled = (distance < near_lens_absolute || distance < near_lens_relative * (l + r))
                                   ? near_lens(l, r, d, q)
                                   : general(l, r, d, q);
  if (!scaled.ok()) return scaled;
  return scaled.value() / two_pi;
}

}  // namespace obrivane::models
