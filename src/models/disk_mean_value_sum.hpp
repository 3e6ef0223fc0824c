// The mean-value series of disk_mean_value_series.hpp summed for a disk of radius a whose centre
// lies u from the lens, weighted term by term:
//   <A> = (p + q/2)/sqrt(p) + (q/4) (sqrt(p)/t) sum_k weight_k (a^2/t)^k H_k(p, q),
// t = u^2, p = t/(t + 4), q = 4/(t + 4): the point lens at the centre plus the disk's excess over
// it. Written once for any scalar type (numeric::Dual carries derivatives in u and a along); the
// weights are constants.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <utility>

#include "models/disk_mean_value_series.hpp"

namespace obrivane::models {

template <class Real>
struct MeanValueSum {
  Real point_lens;  // A at the centre
  Real excess;      // the weighted series: the disk's mean minus point_lens
};

namespace detail {

inline constexpr std::size_t highest_mean_value_degree = 2 * disk_mean_value_terms - 1;

// A homogeneous polynomial of degree D, sum_j c[j] p^j q^(D-j), nested from the highest power of
// p. The sum is unrolled: the series is a handful of such short sums per point, and a loop whose
// length changes from one term to the next costs more than their arithmetic.
template <std::size_t Degree, class Real>
Real homogeneous_sum(const double* coefficients, const Real& p,
                     const std::array<Real, highest_mean_value_degree + 1>& q_powers) noexcept {
  Real sum = coefficients[Degree];
  [&]<std::size_t... J>(std::index_sequence<J...>) {
    ((sum = sum * p + coefficients[Degree - 1 - J] * q_powers[J + 1]), ...);
  }(std::make_index_sequence<Degree>{});
  return sum;
}

// H_k(p, q), of degree m = 2k - 1.
template <std::size_t K, class Real>
Real homogeneous_term(const Real& p,
                      const std::array<Real, highest_mean_value_degree + 1>& q_powers) noexcept {
  return homogeneous_sum<2 * K - 1>(&disk_mean_value_coefficients[disk_mean_value_offsets[K - 1]], p,
                                    q_powers);
}

// series <- (series + weight_k H_k) ratio for k = K down to 1, the terms k > terms skipped; each
// H_k also into kept[k - 1] unless kept is null.
template <std::size_t K, class Real>
void nest_terms(Real& series, std::size_t terms, const Real& p,
                const std::array<Real, highest_mean_value_degree + 1>& q_powers,
                std::span<const double> weights, const Real& ratio, Real* kept) noexcept {
  if constexpr (K >= 1) {
    if (K <= terms) {
      const Real h = homogeneous_term<K>(p, q_powers);
      if (kept != nullptr) kept[K - 1] = h;
      series = (series + weights[K - 1] * h) * ratio;
    }
    nest_terms<K - 1>(series, terms, p, q_powers, weights, ratio, kept);
  }
}

}  // namespace detail

// The series' variables: t = u^2, p = t/(t + 4), q = 4/(t + 4) and ratio = a^2/t.
template <class Real>
struct MeanValueVariables {
  Real t;
  Real p;
  Real q;
  Real ratio;
};

template <class Real>
MeanValueVariables<Real> mean_value_variables(const Real& u, const Real& a) noexcept {
  const Real t = u * u;
  // p and q formed from 4/t so that an overflowing t gives the limit p = 1, q = 0 (magnification
  // 1) rather than inf/inf.
  const Real four_over_t = 4 / t;
  const Real p = 1 / (1 + four_over_t);
  const Real q = four_over_t * p;
  const Real a_over_u = a / u;
  return {t, p, q, a_over_u * a_over_u};
}

// What the series forms on its way to the sum, kept for a caller that goes on to its derivatives
// (law_far_gradient.hpp): the variables, q^0 .. q^(2 terms - 1), and H_1 .. H_terms.
template <class Real>
struct MeanValueParts {
  MeanValueVariables<Real> variables;
  std::array<Real, detail::highest_mean_value_degree + 1> q_powers;
  std::array<Real, disk_mean_value_terms> h;
  std::size_t terms;
};

// The series with as many terms as there are weights (at most disk_mean_value_terms), its parts
// into `parts` unless that is null.
template <class Real>
MeanValueSum<Real> mean_value_sum(const Real& u, const Real& a, std::span<const double> weights,
                                  MeanValueParts<Real>* parts = nullptr) noexcept {
  using std::sqrt;
  const std::size_t terms = std::min(weights.size(), disk_mean_value_terms);
  const MeanValueVariables<Real> variables = mean_value_variables(u, a);
  const auto& [t, p, q, ratio] = variables;
  // Only the powers the terms use are formed (and read): zeroing the whole array would cost more
  // than the short series of a point far from the source.
  std::array<Real, detail::highest_mean_value_degree + 1> own_q_powers;
  std::array<Real, detail::highest_mean_value_degree + 1>& q_powers =
      parts != nullptr ? parts->q_powers : own_q_powers;
  q_powers[0] = 1;
  for (std::size_t i = 1; i < 2 * terms; ++i) q_powers[i] = q_powers[i - 1] * q;
  // sum_k weight_k ratio^k H_k, nested from the smallest term.
  Real series = 0;
  detail::nest_terms<disk_mean_value_terms>(series, terms, p, q_powers, weights, ratio,
                                            parts != nullptr ? parts->h.data() : nullptr);
  if (parts != nullptr) {
    parts->variables = variables;
    parts->terms = terms;
  }
  const Real root_p = sqrt(p);
  const Real point_lens = (p + q * 0.5) / root_p;
  return {point_lens, (q * 0.25) * (root_p / t) * series};
}

}  // namespace obrivane::models
