// Limb-darkening laws far from the lens: the weighted mean-value series (uniform_disk_far.hpp)
// with the law's moments. A law is a sum of terms coefficient * mu^p (and mu ln mu, the
// derivative of mu^p at p = 1), and its moments are the same sums of the terms' moments.
#pragma once

#include <array>
#include <cstddef>

#include "models/disk_mean_value_series.hpp"
#include "models/disk_mean_value_sum.hpp"

namespace obrivane::models {

// Moment k = 0 .. disk_mean_value_terms of a profile: integral_0^1 2 x^(2k+1) I(x) dx. Moment 0
// is the flux relative to the uniform disk's.
using LawMoments = std::array<double, disk_mean_value_terms + 1>;

// mu^p, p >= 0: the Beta integrals B(k + 1, p/2 + 1), moment 0 = 2/(p + 2) and
// moment k = moment (k - 1) * 2k / (2k + p + 2).
constexpr LawMoments power_moments(double p) noexcept {
  LawMoments moments{};
  double moment = 2 / (p + 2);
  moments[0] = moment;
  for (std::size_t k = 1; k < moments.size(); ++k) {
    const double two_k = static_cast<double>(2 * k);
    moment = moment * two_k / (two_k + p + 2);
    moments[k] = moment;
  }
  return moments;
}

// mu^p ln mu: the derivative in p of the moments of mu^p (`power`, those of power_moments(p)),
// since d/dp ln B(k + 1, p/2 + 1) = -sum_{i=0..k} 1/(2i + p + 2).
constexpr LawMoments power_logarithm_moments(const LawMoments& power, double p) noexcept {
  LawMoments moments{};
  double sum = 0;
  for (std::size_t k = 0; k < moments.size(); ++k) {
    sum += 1 / (static_cast<double>(2 * k) + p + 2);
    moments[k] = -power[k] * sum;
  }
  return moments;
}

// mu ln mu: the moments of mu times -sum_{i=0..k} 1/(2i + 3).
constexpr LawMoments logarithm_moments() noexcept { return power_logarithm_moments(power_moments(1), 1); }

// sum_j coefficients[j] * terms[j], moment by moment.
template <std::size_t N>
LawMoments combined_moments(const std::array<double, N>& coefficients,
                            const std::array<const LawMoments*, N>& terms) noexcept {
  LawMoments sum{};
  for (std::size_t k = 0; k < sum.size(); ++k) {
    double value = 0;
    for (std::size_t j = 0; j < N; ++j) value += coefficients[j] * (*terms[j])[k];
    sum[k] = value;
  }
  return sum;
}

// The series' weights of a law, (k + 1) c_k for k = 1 .. disk_mean_value_terms, c_k its moment k
// over its moment 0: made once for a law's many separations.
using FarWeights = std::array<double, disk_mean_value_terms>;
constexpr FarWeights far_weights(const LawMoments& moments) noexcept {
  FarWeights weights{};
  for (std::size_t k = 1; k <= weights.size(); ++k) {
    weights[k - 1] = static_cast<double>(k + 1) * moments[k] / moments[0];
  }
  return weights;
}

// A far point's series as its value formed it, for the derivatives at the same point
// (law_far_gradient.hpp): the geometry, and the series' parts once `formed`.
struct FarSeries {
  bool formed = false;
  double u;
  double a;
  MeanValueParts<double> parts;
};

// The law's magnification for a disk of radius a (Einstein radii) whose centre lies u > 0 from
// the lens, a <= far_disk_ratio * u, from the law's far_weights. `scale` bounds the size of the
// law's moments against its flux (sum of |coefficient * flux of the term| over the flux, 1 for a
// non-negative law). The series' parts go to `kept` unless that is null.
double law_magnification_far(double u, double a, const FarWeights& weights, double scale,
                             FarSeries* kept = nullptr) noexcept;

}  // namespace obrivane::models
