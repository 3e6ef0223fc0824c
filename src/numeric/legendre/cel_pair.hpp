// Two of Bulirsch's integrals of one modulus from one loop (see cel.hpp for cel and its loop):
//   unit = cel(kc, 1, a1, b1),  general = cel(kc, p, a2, b2),
// for 0 < kc <= 1 and p > 0, given as root_p = sqrt(p). The Gauss transformation moves the moduli
// alike for both, so the means are formed once; with p = 1 the transformed parameter of the first
// integral stays equal to 2^k a_k, the scaled arithmetic mean, and needs no variable of its own.
// Any two of K, E and Pi of one modulus, or any linear combination of the three (E and K combine
// into one p = 1 integral), come from one pass through the means.
//
// The loop is written once for any scalar type: with numeric::Dual arguments it carries the
// derivatives of both integrals along. The loop's stop leaves out a last transformation whose
// relative effect is (a_k - b_k)^2 / (8 a_k^2); on the derivatives its effect is of the order of
// (a_k - b_k) (a_k - b_k)' / a_k^2, so with derivatives the loop also waits until the difference of
// the means' derivatives meets the same relative tolerance (one pass more at most: that difference
// shrinks by the factor (a_k - b_k) / (4 a_k) each pass).
//
// The first pass of the general integral forms b2 / p and kc / sqrt(p). When p is tiny and b2 and
// kc shrink with it (as for a disk whose rim nears the lens), those ratios are of order 1 but
// their derivatives come out as differences of terms of order 1/sqrt(p), losing digits in
// proportion; a caller that knows the two ratios in a form free of the cancellation hands them
// over, and the derivatives of the first pass are taken from them (the values are unchanged).
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

#include "numeric/dual.hpp"
#include "numeric/elliptic_constants.hpp"
#include "numeric/legendre/cel.hpp"

namespace obrivane::numeric {

template <class Real>
struct BasicCelPair {
  Real unit;
  Real general;
  const char* message;  // null on success

  [[nodiscard]] constexpr bool ok() const noexcept { return message == nullptr; }
};

using CelPair = BasicCelPair<double>;

namespace detail {

// Whether the derivatives of the two means agree to the loop's tolerance (always, for doubles).
constexpr bool derivatives_settled(double, double) noexcept { return true; }
template <std::size_t N>
bool derivatives_settled(const Dual<N>& arithmetic, const Dual<N>& geometric) noexcept {
  for (std::size_t i = 0; i < N; ++i) {
    const double spread = std::fabs(arithmetic.tangent[i] - geometric.tangent[i]);
    if (!(spread <= std::fabs(arithmetic.tangent[i]) * cel_constants::tolerance)) return false;
  }
  return true;
}

// x with the derivatives of `source` (nothing to do for doubles).
constexpr void take_derivatives(double&, double) noexcept {}
template <std::size_t N>
void take_derivatives(Dual<N>& x, const Dual<N>& source) noexcept {
  x.tangent = source.tangent;
}

}  // namespace detail

// b2 / p and kc / sqrt(p), formed by the caller without cancellation.
template <class Real>
struct CelFirstRatios {
  Real b2_over_p;
  Real kc_over_root_p;
};

// The coefficients of one pair: unit = cel(kc, 1, a1, b1), general = cel(kc, p, a2, b2).
template <class Real>
struct CelCoefficients {
  Real a1, b1, a2, b2;
};

// Several pairs of one modulus and parameter from the one loop: the means, and the general
// integrals' transformed parameter, are shared; each pair's own four numbers follow the same
// operations as for a lone pair, so that each comes out the same bit for bit. first_ratios, if
// given, are those of the first pair.
template <class Real, std::size_t N>
std::array<BasicCelPair<Real>, N> cel_pairs_of(Real kc, Real root_p,
                                               const std::array<CelCoefficients<Real>, N>& pairs,
                                               const CelFirstRatios<Real>* first_ratios = nullptr) noexcept {
  std::array<BasicCelPair<Real>, N> results{};
  const auto fail = [&results](const char* message) {
    for (BasicCelPair<Real>& result : results) result = {0, 0, message};
    return results;
  };
  // Written to fail NaN as well.
  if (!(value_of(kc) > 0 && value_of(kc) <= 1)) return fail("cel_pair: kc must lie in (0, 1].");
  if (!(value_of(root_p) > 0 && value_of(root_p) < std::numeric_limits<double>::infinity()))
    return fail("cel_pair: root_p must be positive and finite.");
  using std::sqrt;

  Real qc = kc;
  Real e = kc;
  Real em = 1;
  std::array<Real, N> unit_a, unit_b, general_a, general_b;
  for (std::size_t i = 0; i < N; ++i) {
    unit_a[i] = pairs[i].a1;
    unit_b[i] = pairs[i].b1;
    general_a[i] = pairs[i].a2;
    general_b[i] = pairs[i].b2 / root_p;
  }
  Real general_root_p = root_p;
  for (int pass = 0; pass < cel_constants::max_passes; ++pass) {
    // The unit parameter's transformed root is em, and e / em is qc.
    for (std::size_t i = 0; i < N; ++i) {
      const Real previous_unit_a = unit_a[i];
      unit_a[i] = unit_a[i] + unit_b[i] / em;
      unit_b[i] = unit_b[i] + previous_unit_a * qc;
      unit_b[i] = unit_b[i] + unit_b[i];
    }

    Real g = e / general_root_p;
    for (std::size_t i = 0; i < N; ++i) {
      const Real previous_general_a = general_a[i];
      general_a[i] = general_a[i] + general_b[i] / general_root_p;
      if (i == 0 && pass == 0 && first_ratios != nullptr) {
        detail::take_derivatives(general_a[i], previous_general_a + first_ratios->b2_over_p);
        detail::take_derivatives(g, first_ratios->kc_over_root_p);
      }
      general_b[i] = general_b[i] + previous_general_a * g;
      general_b[i] = general_b[i] + general_b[i];
    }
    general_root_p = g + general_root_p;

    const Real previous_em = em;
    em = qc + em;
    if (std::fabs(value_of(previous_em) - value_of(qc)) <= value_of(previous_em) * cel_constants::tolerance &&
        detail::derivatives_settled(previous_em, qc)) {
      constexpr double quarter_pi = elliptic_constants::half_pi * 0.5;
      for (std::size_t i = 0; i < N; ++i) {
        results[i] = {
            quarter_pi * (unit_b[i] + unit_a[i] * em) / (em * em),
            elliptic_constants::half_pi * (general_b[i] + general_a[i] * em) / (em * (em + general_root_p)),
            nullptr};
      }
      return results;
    }
    qc = sqrt(e);
    qc = qc + qc;
    e = qc * em;
  }
  return fail("cel_pair: failed to converge.");
}

template <class Real>
BasicCelPair<Real> cel_pair_of(Real kc, Real root_p, Real a1, Real b1, Real a2, Real b2,
                               const CelFirstRatios<Real>* first_ratios = nullptr) noexcept {
  return cel_pairs_of<Real, 1>(kc, root_p, {{{a1, b1, a2, b2}}}, first_ratios)[0];
}

inline CelPair cel_pair(double kc, double root_p, double a1, double b1, double a2, double b2) noexcept {
  return cel_pair_of<double>(kc, root_p, a1, b1, a2, b2);
}

}  // namespace obrivane::numeric
