// A limb-darkening law for its derivatives: a sum of profile terms c_k P_k(mu), P_0 = 1 the uniform
// disk and P_k (k >= 1) the law's powers of mu (or mu ln mu), whose weights c_k are linear in the
// law's coefficients. With M_k the integral of P_k A over the source (over pi rho^2) and f_k the
// flux of P_k, the law's magnification is A = sum c_k M_k / F, F = sum c_k f_k. Each term is held as
// its excess over a base magnification B that the terms share, X_k = M_k - f_k B (B = 1 near the
// source, the point lens at the centre far from it), so that
//   A - B = sum c_k X_k / F,
//   dA/dx = dB/dx + sum c_k dX_k/dx / F  for x = u, rho,
//   dA/dcoefficient_i = (sum_k (dc_k/dcoefficient_i) X_k - (A - B) sum_k (dc_k/dcoefficient_i) f_k) / F,
// the last since the flux depends on the coefficients too. Working with X_k rather than M_k keeps
// the coefficient derivatives free of the cancellation of the common part B.
#pragma once

#include <array>
#include <cstddef>

#include "models/law_far.hpp"
#include "models/law_gradients.hpp"

namespace obrivane::models {

template <std::size_t Terms>
struct LawTerms {
  std::array<double, Terms> weights;                       // c_k
  std::array<std::array<double, 2>, Terms> weight_slopes;  // dc_k / dcoefficient_i
  std::array<double, Terms> fluxes;                        // f_k
  std::array<const LawMoments*, Terms> moments;            // the far series' moments of P_k
};

// One term's X_k with its derivatives in u and rho.
struct TermIntegral {
  double excess;
  double d_u;
  double d_rho;
};

// The gradient from the terms, with the base's derivative in u (that in rho is 0); the
// magnification is left to the caller (the value functions of brightness_laws.hpp give it).
template <std::size_t Terms>
LawGradient combined_gradient(const LawTerms<Terms>& law, const std::array<TermIntegral, Terms>& terms,
                              double base_d_u) noexcept {
  double flux = 0;
  double excess = 0;
  double d_u = 0;
  double d_rho = 0;
  for (std::size_t k = 0; k < Terms; ++k) {
    flux += law.weights[k] * law.fluxes[k];
    excess += law.weights[k] * terms[k].excess;
    // A term of weight 0 adds nothing, even where its derivatives are infinite (the uniform
    // disk's on the limb).
    if (law.weights[k] != 0) {
      d_u += law.weights[k] * terms[k].d_u;
      d_rho += law.weights[k] * terms[k].d_rho;
    }
  }
  const double excess_over_flux = excess / flux;
  LawGradient gradient{0, base_d_u + d_u / flux, d_rho / flux, {0, 0}};
  for (std::size_t i = 0; i < 2; ++i) {
    double excess_slope = 0;
    double flux_slope = 0;
    for (std::size_t k = 0; k < Terms; ++k) {
      excess_slope += law.weight_slopes[k][i] * terms[k].excess;
      flux_slope += law.weight_slopes[k][i] * law.fluxes[k];
    }
    gradient.d_coefficients[i] = (excess_slope - excess_over_flux * flux_slope) / flux;
  }
  return gradient;
}

}  // namespace obrivane::models
