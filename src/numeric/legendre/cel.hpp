// Bulirsch's general complete elliptic integral (Bulirsch 1969, Numer. Math. 13, 305)
//   cel(kc, p, a, b) = integral_0^(pi/2) (a cos^2 t + b sin^2 t)
//                      / ((cos^2 t + p sin^2 t) sqrt(cos^2 t + kc^2 sin^2 t)) dt,
// the Cauchy principal value for p < 0. With m = 1 - kc^2 it holds the Legendre integrals:
//   K(m) = cel(kc, 1, 1, 1),  E(m) = cel(kc, 1, 1, kc^2),  Pi(n, m) = cel(kc, 1 - n, 1, 1).
// Each pass of the loop is a Gauss transformation: the moduli (1, kc) move to their arithmetic
// and geometric means and (p, a, b) to the values that leave the integral unchanged, so kc tends
// to 1 quadratically; at kc = 1 the integral is elementary,
//   integral_0^(pi/2) (a cos^2 t + b sin^2 t) / (cos^2 t + q^2 sin^2 t) dt = (pi/2) (a + b/q) / (1 + q).
// A negative p first becomes a positive one (Bulirsch's transformation of the principal value),
// and kc > 1 becomes 1/kc by t -> pi/2 - t: cel(kc, p, a, b) = cel(1/kc, 1/p, b, a) / (kc p), so
// that the loop's scaled means stay below 2^passes and never overflow. The transformed a and b grow
// to about 2^passes (|a| + |b| / sqrt(p)), so arguments within that factor of the largest double
// may overflow where the integral does not.
#pragma once

#include <cmath>
#include <limits>

#include "numeric/elliptic_constants.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

namespace cel_constants {

// The loop stops once the means a_k, b_k of the moduli satisfy |a_k - b_k| <= tolerance a_k. The
// state then stands for the integral transformed once more, whose modulus ratio
// kc_(k+1) = 1 - (a_k - b_k)^2 / (8 a_k^2) + ... is taken as 1: a relative error below
// tolerance^2 / 8 = epsilon / 8 of the integral.
inline constexpr double tolerance = 1.4901161193847656e-08;  // 2^-26 = sqrt(epsilon)

// The means of 1 and the smallest positive double meet the tolerance in the 13th pass (the
// exponent of their ratio halves each pass until it is near 1, then four more); 24 leaves room.
inline constexpr int max_passes = 24;

}  // namespace cel_constants

inline EllipticResult cel(double kc, double p, double a, double b) noexcept {
  constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();
  if (std::isnan(kc) || std::isnan(p) || std::isnan(a) || std::isnan(b))
    return EllipticResult::value_of(quiet_nan);
  if (kc == 0 || !std::isfinite(kc)) return EllipticResult::failure("cel: kc must be finite and non-zero.");
  if (p == 0 || !std::isfinite(p)) return EllipticResult::failure("cel: p must be finite and non-zero.");
  if (!std::isfinite(a) || !std::isfinite(b)) return EllipticResult::failure("cel: a and b must be finite.");

  // The integral depends on kc^2 only.
  double qc = std::fabs(kc);
  double reflected_kc = 1;
  double reflected_p = 1;
  if (qc > 1) {
    reflected_kc = qc;
    reflected_p = p;
    qc = 1 / qc;
    p = 1 / p;
    const double swapped = a;
    a = b;
    b = swapped;
  }

  double root_p;
  if (p > 0) {
    root_p = std::sqrt(p);
    b = b / root_p;
  } else {
    // Bulirsch's transformation to the positive parameter (kc^2 - p) / (1 - p).
    const double kc_squared = qc * qc;
    const double g = 1 - p;
    const double f = kc_squared - p;
    const double q = (1 - kc_squared) * (b - a * p);
    root_p = std::sqrt(f / g);
    a = (a - b) / g;
    b = -q / ((g * g) * root_p) + a * root_p;
  }

  // em and qc are 2^k a_k and 2^k b_k, e their product 4^k a_k b_k.
  double e = qc;
  double em = 1;
  for (int pass = 0; pass < cel_constants::max_passes; ++pass) {
    const double previous_a = a;
    a = a + b / root_p;
    const double g = e / root_p;
    b = b + previous_a * g;
    b = b + b;
    root_p = g + root_p;
    const double previous_em = em;
    em = qc + em;
    if (std::fabs(previous_em - qc) <= previous_em * cel_constants::tolerance) {
      const double value = elliptic_constants::half_pi * (b + a * em) / (em * (em + root_p));
      if (reflected_kc == 1) return EllipticResult::value_of(value);
      // kc p itself may overflow or underflow where the value does not: divided by the product
      // of the significands, and the exponents taken off exactly.
      int kc_exponent;
      int p_exponent;
      const double kc_significand = std::frexp(reflected_kc, &kc_exponent);
      const double p_significand = std::frexp(reflected_p, &p_exponent);
      return EllipticResult::value_of(
          std::ldexp(value / (kc_significand * p_significand), -kc_exponent - p_exponent));
    }
    qc = std::sqrt(e);
    qc = qc + qc;
    e = qc * em;
  }
  return EllipticResult::failure("cel: failed to converge.");
}

}  // namespace obrivane::numeric
