// Gauss rules of the weight (1 - x)^alpha on [-1, 1], alpha > -1 (the Jacobi weights with
// beta = 0), by Golub and Welsch as gauss_jacobi_symmetric.hpp: the Jacobi matrix of the
// orthonormal polynomials has diagonal a_k = -alpha^2 / ((2k + alpha)(2k + alpha + 2)) and
// off-diagonal b_k = 2k (k + alpha) / ((2k + alpha) sqrt((2k + alpha + 1)(2k + alpha - 1))), and
// the weights are mu0 = 2^(alpha + 1) / (alpha + 1) times the squared first eigenvector components.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#include "numeric/gauss_jacobi_symmetric.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::numeric {

// Fills `rule` (any length up to N) with the rule of (1 - x)^alpha, abscissae in decreasing order.
// Allocates nothing.
template <std::size_t N>
void gauss_jacobi_one_sided(double alpha, std::span<GaussNode> rule, std::array<double, N>& d,
                            std::array<double, N>& e, std::array<double, N>& z) noexcept {
  const std::size_t n = std::min(rule.size(), N);
  for (std::size_t k = 0; k < n; ++k) {
    const double twice = 2 * static_cast<double>(k) + alpha;
    // k = 0 with alpha = 0 (Legendre) is the limit 0.
    d[k] = twice == 0 ? 0 : -(alpha * alpha) / (twice * (twice + 2));
    z[k] = k == 0 ? 1 : 0;
    const double j = static_cast<double>(k + 1);
    const double next = 2 * j + alpha;
    e[k] = k + 1 < n ? 2 * j * (j + alpha) / (next * std::sqrt((next + 1) * (next - 1))) : 0;
  }
  detail::tridiagonal_ql(n, d, e, z);
  const double mu0 = std::pow(2.0, alpha + 1) / (alpha + 1);
  for (std::size_t k = 0; k < n; ++k) rule[k] = GaussNode{d[k], mu0 * (z[k] * z[k])};
  std::sort(rule.begin(), rule.begin() + static_cast<std::ptrdiff_t>(n),
            [](const GaussNode& left, const GaussNode& right) { return left.abscissa > right.abscissa; });
}

}  // namespace obrivane::numeric
