// Two of Bulirsch's integrals of one modulus from one loop (see cel.hpp for cel and its loop):
//   unit = cel(kc, 1, a1, b1),  general = cel(kc, p, a2, b2),
// for 0 < kc <= 1 and p > 0, given as root_p = sqrt(p). The Gauss transformation moves the moduli
// alike for both, so the means are formed once; with p = 1 the transformed parameter of the first
// integral stays equal to 2^k a_k, the scaled arithmetic mean, and needs no variable of its own.
// Any two of K, E and Pi of one modulus, or any linear combination of the three (E and K combine
// into one p = 1 integral), come from one pass through the means.
#pragma once

#include <cmath>
#include <limits>

#include "numeric/elliptic_constants.hpp"
#include "numeric/legendre/cel.hpp"

namespace obrivane::numeric {

struct CelPair {
  double unit;
  double general;
  const char* message;  // null on success

  [[nodiscard]] constexpr bool ok() const noexcept { return message == nullptr; }
};

inline CelPair cel_pair(double kc, double root_p, double a1, double b1, double a2, double b2) noexcept {
  // Written to fail NaN as well.
  if (!(kc > 0 && kc <= 1)) return {0, 0, "cel_pair: kc must lie in (0, 1]."};
  if (!(root_p > 0 && root_p < std::numeric_limits<double>::infinity()))
    return {0, 0, "cel_pair: root_p must be positive and finite."};

  double qc = kc;
  double e = kc;
  double em = 1;
  double unit_a = a1;
  double unit_b = b1;
  double general_a = a2;
  double general_b = b2 / root_p;
  double general_root_p = root_p;
  for (int pass = 0; pass < cel_constants::max_passes; ++pass) {
    // The unit parameter's transformed root is em, and e / em is qc.
    const double previous_unit_a = unit_a;
    unit_a = unit_a + unit_b / em;
    unit_b = unit_b + previous_unit_a * qc;
    unit_b = unit_b + unit_b;

    const double previous_general_a = general_a;
    general_a = general_a + general_b / general_root_p;
    const double g = e / general_root_p;
    general_b = general_b + previous_general_a * g;
    general_b = general_b + general_b;
    general_root_p = g + general_root_p;

    const double previous_em = em;
    em = qc + em;
    if (std::fabs(previous_em - qc) <= previous_em * cel_constants::tolerance) {
      constexpr double quarter_pi = elliptic_constants::half_pi * 0.5;
      return {quarter_pi * (unit_b + unit_a * em) / (em * em),
              elliptic_constants::half_pi * (general_b + general_a * em) / (em * (em + general_root_p)),
              nullptr};
    }
    qc = std::sqrt(e);
    qc = qc + qc;
    e = qc * em;
  }
  return {0, 0, "cel_pair: failed to converge."};
}

}  // namespace obrivane::numeric
