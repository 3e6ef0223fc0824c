// Chebyshev interpolation on the first-kind points t_j = cos(pi (j + 1/2) / M), j = 0 ... M-1:
// the polynomial p(t) = sum_{k<M} c_k T_k(t) of degree M - 1 through the samples f_j = f(t_j) has
//   c_k = (2 - [k = 0]) / M * sum_j f_j T_k(t_j),   T_k(t_j) = cos(pi k (j + 1/2) / M)
// (the discrete orthogonality of T_0 ... T_{M-1} on these points). For f analytic inside the
// Bernstein ellipse of parameter r the error falls like r^-M.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace obrivane::numeric {

// The interpolation points and the values T_k(t_j), formed once per process with the library
// cosine and read-only afterwards.
template <std::size_t M>
class ChebyshevPoints {
 public:
  static const ChebyshevPoints& instance() {
    static const ChebyshevPoints points;
    return points;
  }

  // t_j, decreasing from near 1 to near -1.
  [[nodiscard]] double point(std::size_t j) const noexcept { return points_[j]; }

  // c_k from the samples f_j = f(t_j).
  [[nodiscard]] std::array<double, M> coefficients(const std::array<double, M>& samples) const noexcept {
    std::array<double, M> c{};
    for (std::size_t k = 0; k < M; ++k) {
      const double* row = &cosines_[k * M];
      double sum = 0;
      for (std::size_t j = 0; j < M; ++j) sum += samples[j] * row[j];
      c[k] = sum * (2.0 / static_cast<double>(M));
    }
    c[0] *= 0.5;
    return c;
  }

  // The transpose: W_j = sum_k (2 - [k = 0]) / M T_k(t_j) m_k, so that for any samples
  // sum_k c_k m_k = sum_j W_j f_j. With m_k = sum_i w_i T_k(t_i) over some points t_i, W holds
  // the weights of the rule sum_i w_i p(t_i) on the interpolant p of the samples.
  [[nodiscard]] std::array<double, M> nodal_weights(const std::array<double, M>& moments) const noexcept {
    std::array<double, M> weights{};
    for (std::size_t j = 0; j < M; ++j) weights[j] = moments[0];
    for (std::size_t k = 1; k < M; ++k) {
      const double* row = &cosines_[k * M];
      const double twice = moments[k] + moments[k];
      for (std::size_t j = 0; j < M; ++j) weights[j] += twice * row[j];
    }
    for (std::size_t j = 0; j < M; ++j) weights[j] /= static_cast<double>(M);
    return weights;
  }

 private:
  ChebyshevPoints() {
    const double pi = std::numbers::pi;
    const double m = static_cast<double>(M);
    for (std::size_t j = 0; j < M; ++j) points_[j] = std::cos(pi * (static_cast<double>(j) + 0.5) / m);
    for (std::size_t k = 0; k < M; ++k) {
      for (std::size_t j = 0; j < M; ++j) {
        // k (2j + 1) reduced modulo 4M keeps the cosine's argument below 2 pi.
        const std::size_t phase = (k * (2 * j + 1)) % (4 * M);
        cosines_[k * M + j] = std::cos(pi * static_cast<double>(phase) / (2 * m));
      }
    }
  }

  std::array<double, M> points_{};
  std::array<double, M * M> cosines_{};
};

}  // namespace obrivane::numeric
