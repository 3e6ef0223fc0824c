// The derivatives of a Gauss-Jacobi rule's abscissae and weights in the weight's exponent: for the
// symmetric weight (1 - x^2)^beta (gauss_jacobi_symmetric.hpp) and the one-sided (1 - x)^beta
// (gauss_jacobi_one_sided.hpp). An n-point rule integrates every polynomial f of degree 2n - 1
// exactly for every beta, so its derivative in beta,
//   sum_j [w_j' f(x_j) + w_j f'(x_j) x_j'] = integral of ln(1 - x^2) (1 - x^2)^beta f dx
// (ln(1 - x) for the one-sided weight), does too: a rule for the logarithmic weight that needs f'
// at the same nodes, and whose error for analytic f, the beta-derivative of the Gauss rule's, falls
// at the same geometric rate.
//
// Of the weight (1 - x)^a (1 + x)^b, the monic orthogonal polynomials satisfy
//   P_(k+1) = (x - alpha_k) P_k - beta_k P_(k-1),
//   alpha_k = (b^2 - a^2) / ((2k + a + b)(2k + a + b + 2)),
//   beta_k = 4k (k + a)(k + b)(k + a + b) / ((2k + a + b)^2 (2k + a + b + 1)(2k + a + b - 1)),
// and a node x_j, a root of P_n, moves with the exponent as x_j' = -(dP_n/dbeta)/(dP_n/dx). The
// weights are the Christoffel numbers 1/w_j = sum_(k < n) P_k(x_j)^2 / h_k, h_k = mu0 beta_1 ...
// beta_k with mu0 the integral of the weight, differentiated along with x_j (forward-mode dual
// numbers, numeric/dual.hpp). mu0's logarithmic derivative is psi(beta + 1) - psi(beta + 3/2) for
// the symmetric weight, mu0 = sqrt(pi) Gamma(beta + 1)/Gamma(beta + 3/2), and ln 2 - 1/(beta + 1)
// for the one-sided one, mu0 = 2^(beta + 1)/(beta + 1).
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

#include "numeric/digamma.hpp"
#include "numeric/dual.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::numeric {

// The derivatives of one node's abscissa and weight in the exponent.
struct GaussNodeSlope {
  double abscissa;
  double weight;
};

namespace detail {

// alpha_k and beta_k of the weight (1 - x)^a (1 + x)^b, the exponents of any scalar type.
template <class Scalar>
Scalar jacobi_alpha(std::size_t k, const Scalar& a, const Scalar& b) noexcept {
  if (k == 0) return (b - a) / (a + b + 2.0);
  const Scalar twice = 2.0 * static_cast<double>(k) + a + b;
  return (b * b - a * a) / (twice * (twice + 2.0));
}

template <class Scalar>
Scalar jacobi_beta(std::size_t k, const Scalar& a, const Scalar& b) noexcept {
  // For k = 1 the factor 1 + a + b is in both numerator and denominator.
  if (k == 1) {
    const Scalar sum = a + b + 2.0;
    return 4.0 * (1.0 + a) * (1.0 + b) / (sum * sum * (sum + 1.0));
  }
  const double j = static_cast<double>(k);
  const Scalar twice = 2.0 * j + a + b;
  return 4.0 * j * (j + a) * (j + b) * (j + a + b) / (twice * twice * (twice + 1.0) * (twice - 1.0));
}

// The slopes of `rule`, of the weight (1 - x)^a (1 + x)^b with b = a (symmetric) or b = 0, in a;
// log_mu0_slope is d ln(mu0)/da.
inline void jacobi_exponent_slopes(double exponent, bool symmetric, double log_mu0_slope,
                                   std::span<const GaussNode> rule,
                                   std::span<GaussNodeSlope> slopes) noexcept {
  const std::size_t n = rule.size();
  // The node's motion: P_n with its derivatives in x (tangent 0) and the exponent (tangent 1).
  using Both = Dual<2>;
  const Both a2 = Both::variable(exponent, 1);
  const Both b2 = symmetric ? a2 : Both(0.0);
  using Along = Dual<1>;
  const Along a1 = Along::variable(exponent, 0);
  const Along b1 = symmetric ? a1 : Along(0.0);
  for (std::size_t j = 0; j < n; ++j) {
    const Both x = Both::variable(rule[j].abscissa, 0);
    Both previous(0.0), current(1.0);
    for (std::size_t k = 0; k < n; ++k) {
      const Both next =
          (x - jacobi_alpha(k, a2, b2)) * current - (k == 0 ? Both(0.0) : jacobi_beta(k, a2, b2) * previous);
      previous = current;
      current = next;
    }
    const double moves = -current.tangent[1] / current.tangent[0];
    // The Christoffel sum along the exponent, the node moving with it, with the norms h_k in units
    // of mu0 at this exponent: h_0 is 1 there, its slope mu0's logarithmic one.
    const Along moving(rule[j].abscissa, {moves});
    Along norm(1.0, {log_mu0_slope});
    Along before(0.0), polynomial(1.0);
    Along sum = 1.0 / norm;
    for (std::size_t k = 0; k + 1 < n; ++k) {
      const Along next = (moving - jacobi_alpha(k, a1, b1)) * polynomial -
                         (k == 0 ? Along(0.0) : jacobi_beta(k, a1, b1) * before);
      before = polynomial;
      polynomial = next;
      norm = norm * jacobi_beta(k + 1, a1, b1);
      sum = sum + polynomial * polynomial / norm;
    }
    // w_j = mu0 / sum (sum in those units), so w_j'/w_j is the logarithmic slope of 1/sum: the
    // weight keeps the rule's own value, and takes its slope from the sum.
    const Along weight = 1.0 / sum;
    slopes[j] = GaussNodeSlope{moves, rule[j].weight * (weight.tangent[0] / weight.value)};
  }
}

}  // namespace detail

// The slopes in beta of the rule of (1 - x^2)^beta, beta > -1.
inline void gauss_jacobi_symmetric_slopes(double beta, std::span<const GaussNode> rule,
                                          std::span<GaussNodeSlope> slopes) noexcept {
  detail::jacobi_exponent_slopes(beta, true, digamma(beta + 1) - digamma(beta + 1.5), rule, slopes);
}

// The slopes in alpha of the rule of (1 - x)^alpha, alpha > -1.
inline void gauss_jacobi_one_sided_slopes(double alpha, std::span<const GaussNode> rule,
                                          std::span<GaussNodeSlope> slopes) noexcept {
  detail::jacobi_exponent_slopes(alpha, false, std::numbers::ln2 - 1 / (alpha + 1), rule, slopes);
}

}  // namespace obrivane::numeric
