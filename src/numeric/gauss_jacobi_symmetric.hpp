// Gauss rules of the weight (1 - s^2)^beta on [-1, 1], beta > -1 (the symmetric Jacobi, or
// Gegenbauer, weights), computed at run time by Golub and Welsch: the abscissae are the
// eigenvalues of the Jacobi matrix of the weight's orthonormal polynomials, zero diagonal and
// off-diagonal b_k = sqrt(k (k + 2 beta) / ((2k + 2 beta + 1)(2k + 2 beta - 1))), and each
// weight is mu0 times the squared first component of its eigenvector, with
// mu0 = integral of the weight = sqrt(pi) Gamma(beta + 1) / Gamma(beta + 3/2). The eigenvalues
// come from the implicit QL iteration with Wilkinson shifts, carrying only the first row of the
// eigenvector matrix; abscissae are good to a few ulps of 1, weights to a few ulps for up to a
// dozen points and to about 5e-13 (relative) on the smallest of 80.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

#include "numeric/gauss_rules.hpp"

namespace obrivane::numeric {

namespace detail {

// The eigenvalues (into d) of the symmetric tridiagonal matrix of diagonal d[0 .. n) and
// off-diagonal e[0 .. n - 1) (e[n - 1] = 0), by the implicit QL iteration with Wilkinson shifts,
// and the first row of its eigenvector matrix (into z, which holds the first unit vector on entry).
template <std::size_t N>
void tridiagonal_ql(std::size_t n, std::array<double, N>& d, std::array<double, N>& e,
                    std::array<double, N>& z) noexcept {
  constexpr double epsilon = 2.220446049250313e-16;
  for (std::size_t l = 0; l < n; ++l) {
    // At most 60 sweeps per eigenvalue: QL with Wilkinson shifts converges cubically, in 2 or 3.
    for (int sweep = 0; sweep < 60; ++sweep) {
      std::size_t m = l;
      for (; m + 1 < n; ++m) {
        if (std::fabs(e[m]) <= epsilon * (std::fabs(d[m]) + std::fabs(d[m + 1]))) break;
      }
      if (m == l) break;
      double g = (d[l + 1] - d[l]) / (2 * e[l]);
      double r = std::hypot(g, 1.0);
      g = d[m] - d[l] + e[l] / (g + std::copysign(r, g));
      double s = 1, c = 1, p = 0;
      bool deflated = false;
      for (std::size_t i = m; i-- > l;) {
        const double f = s * e[i];
        const double b = c * e[i];
        r = std::hypot(f, g);
        e[i + 1] = r;
        if (r == 0) {
          d[i + 1] -= p;
          e[m] = 0;
          deflated = true;
          break;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2 * c * b;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - b;
        const double upper = z[i + 1];
        z[i + 1] = s * z[i] + c * upper;
        z[i] = c * z[i] - s * upper;
      }
      if (deflated) continue;
      d[l] -= p;
      e[l] = g;
      e[m] = 0;
    }
  }
}

}  // namespace detail

// Fills `rule` (any length up to N) with the rule of the weight (1 - s^2)^beta, abscissae in
// decreasing order. Allocates nothing.
template <std::size_t N>
void gauss_jacobi_symmetric(double beta, std::span<GaussNode> rule, std::array<double, N>& work_d,
                            std::array<double, N>& work_e, std::array<double, N>& work_z) noexcept {
  const std::size_t n = std::min(rule.size(), N);
  std::array<double, N>& d = work_d;
  std::array<double, N>& e = work_e;
  std::array<double, N>& z = work_z;
  for (std::size_t k = 0; k < n; ++k) {
    d[k] = 0;
    z[k] = k == 0 ? 1 : 0;
    const double j = static_cast<double>(k + 1);
    // For j = 1 the factor 1 + 2 beta is in both numerator and denominator: at beta = -1/2 (the
    // Chebyshev weight of the first kind) b_1^2 is their limit 1/(3 + 2 beta) = 1/2.
    const bool chebyshev_first = k == 0 && 2 * beta + 1 == 0;
    e[k] = k + 1 >= n ? 0
           : chebyshev_first
               ? std::sqrt(1 / (3 + 2 * beta))
               : std::sqrt(j * (j + 2 * beta) / ((2 * j + 2 * beta + 1) * (2 * j + 2 * beta - 1)));
  }
  detail::tridiagonal_ql(n, d, e, z);
  // Gamma(x + 1)/Gamma(x + 3/2) by the recurrence x/(x + 1/2) down to x <= 100, where tgamma is
  // far from overflow.
  double ratio = 1;
  double x = beta;
  for (; x > 100; x -= 1) ratio *= x / (x + 0.5);
  const double mu0 = std::sqrt(std::numbers::pi) * ratio * (std::tgamma(x + 1) / std::tgamma(x + 1.5));
  for (std::size_t k = 0; k < n; ++k) rule[k] = GaussNode{d[k], mu0 * (z[k] * z[k])};
  std::sort(rule.begin(), rule.begin() + static_cast<std::ptrdiff_t>(n),
            [](const GaussNode& left, const GaussNode& right) { return left.abscissa > right.abscissa; });
}

}  // namespace obrivane::numeric
