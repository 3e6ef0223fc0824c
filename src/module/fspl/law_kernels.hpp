// The element-wise kernels behind the ufuncs of obrivane.fspl: for each, its Python name, its
// parameters in order (the trailing ones are the law's coefficients), the model it evaluates,
// and the rule that refuses coefficients describing no source.
//
// Every kernel has
//   name, parameters                 the ufunc's name and the names of its inputs;
//   coefficients                     how many trailing inputs are law coefficients;
//   evaluate(inputs...)              the magnification or conversion of one element;
//   coefficient_problem(coeffs...)   null, or why the coefficients describe no source.
#pragma once

#include <array>
#include <cstddef>

#include "models/brightness_laws.hpp"

namespace obrivane::module::fspl {

inline constexpr const char* non_positive_flux = "the coefficients give a non-positive total flux";

struct PointSourceKernel {
  static constexpr const char* name = "point_source";
  static constexpr std::array<const char*, 1> parameters{"u"};
  static constexpr std::size_t coefficients = 0;
  static double evaluate(double u) noexcept { return models::point_source_magnification(u); }
};

struct UniformKernel {
  static constexpr const char* name = "uniform";
  static constexpr std::array<const char*, 2> parameters{"u", "rho"};
  static constexpr std::size_t coefficients = 0;
  static double evaluate(double u, double rho) noexcept { return models::uniform_law_magnification(u, rho); }
};

struct LinearKernel {
  static constexpr const char* name = "linear";
  static constexpr std::array<const char*, 3> parameters{"u", "rho", "u1"};
  static constexpr std::size_t coefficients = 1;
  static double evaluate(double u, double rho, double u1) noexcept {
    return models::linear_law_magnification(u, rho, u1);
  }
  static const char* coefficient_problem(double u1) noexcept {
    return models::linear_law_flux(u1) <= 0 ? non_positive_flux : nullptr;
  }
};

struct QuadraticKernel {
  static constexpr const char* name = "quadratic";
  static constexpr std::array<const char*, 4> parameters{"u", "rho", "a", "b"};
  static constexpr std::size_t coefficients = 2;
  static double evaluate(double u, double rho, double a, double b) noexcept {
    return models::quadratic_law_magnification(u, rho, a, b);
  }
  static const char* coefficient_problem(double a, double b) noexcept {
    return models::quadratic_law_flux(a, b) <= 0 ? non_positive_flux : nullptr;
  }
};

struct SquareRootKernel {
  static constexpr const char* name = "square_root";
  static constexpr std::array<const char*, 4> parameters{"u", "rho", "c", "d"};
  static constexpr std::size_t coefficients = 2;
  static double evaluate(double u, double rho, double c, double d) noexcept {
    return models::square_root_law_magnification(u, rho, c, d);
  }
  static const char* coefficient_problem(double c, double d) noexcept {
    return models::square_root_law_flux(c, d) <= 0 ? non_positive_flux : nullptr;
  }
};

struct LogarithmicKernel {
  static constexpr const char* name = "logarithmic";
  static constexpr std::array<const char*, 4> parameters{"u", "rho", "e", "f"};
  static constexpr std::size_t coefficients = 2;
  static double evaluate(double u, double rho, double e, double f) noexcept {
    return models::logarithmic_law_magnification(u, rho, e, f);
  }
  static const char* coefficient_problem(double e, double f) noexcept {
    return models::logarithmic_law_flux(e, f) <= 0 ? non_positive_flux : nullptr;
  }
};

struct Power2Kernel {
  static constexpr const char* name = "power2";
  static constexpr std::array<const char*, 4> parameters{"u", "rho", "c", "alpha"};
  static constexpr std::size_t coefficients = 2;
  static double evaluate(double u, double rho, double c, double alpha) noexcept {
    // The quadrature rules and moments made for the last few exponents, kept by each thread of
    // work across calls: making them costs about a millisecond, a light curve's worth of points,
    // and they depend on the exponent alone, so the cache changes no result.
    thread_local models::PowerLawRules rules;
    return models::power2_law_magnification(u, rho, c, alpha, rules);
  }
  static const char* coefficient_problem(double c, double alpha) noexcept {
    // mu^alpha with alpha < 0 grows without bound towards the limb.
    if (alpha < 0) return "the exponent alpha must not be negative";
    return models::power2_law_flux(c, alpha) <= 0 ? non_positive_flux : nullptr;
  }
};

// Gamma = 2 u1 / (3 - u1): the coefficient of the law written with unit mean brightness,
// I = 1 - Gamma (1 - 3 mu / 2); u1 = 3 Gamma / (2 + Gamma).
struct U1FromGammaKernel {
  static constexpr const char* name = "u1_from_gamma";
  static constexpr std::array<const char*, 1> parameters{"gamma"};
  static constexpr std::size_t coefficients = 0;
  static double evaluate(double gamma) noexcept { return (3 * gamma) / (2 + gamma); }
};

struct GammaFromU1Kernel {
  static constexpr const char* name = "gamma_from_u1";
  static constexpr std::array<const char*, 1> parameters{"u1"};
  static constexpr std::size_t coefficients = 0;
  static double evaluate(double u1) noexcept { return (2 * u1) / (3 - u1); }
};

}  // namespace obrivane::module::fspl
