// The element-wise kernels of the ufuncs <law>_and_gradient: a law's magnification followed by its
// partial derivatives with respect to u, rho and each coefficient, in the law's argument order.
// Each derives from the law's own kernel (law_kernels.hpp), whose parameters and coefficient rule
// it keeps; it adds its name, its number of outputs and an evaluate() that returns them all.
#pragma once

#include <array>
#include <cstddef>

#include "models/law_gradients.hpp"
#include "module/fspl/law_kernels.hpp"

namespace obrivane::module::fspl {

// A kernel's outputs: the one magnification, or a gradient kernel's magnification and derivatives.
template <class Kernel>
constexpr std::size_t outputs_of() {
  if constexpr (requires { Kernel::outputs; }) {
    return Kernel::outputs;
  } else {
    return 1;
  }
}

namespace gradient_detail {

template <std::size_t Outputs>
std::array<double, Outputs> as_outputs(const models::LawGradient& gradient) noexcept {
  static_assert(Outputs >= 3 && Outputs <= 5);
  std::array<double, Outputs> outputs{gradient.magnification, gradient.d_u, gradient.d_rho};
  for (std::size_t i = 3; i < Outputs; ++i) outputs[i] = gradient.d_coefficients[i - 3];
  return outputs;
}

}  // namespace gradient_detail

struct PointSourceGradientKernel : PointSourceKernel {
  static constexpr const char* name = "point_source_and_gradient";
  static constexpr std::size_t outputs = 2;
  static std::array<double, 2> evaluate(double u) noexcept {
    const models::PointSourceGradient gradient = models::point_source_gradient(u);
    return {gradient.magnification, gradient.d_u};
  }
};

struct UniformGradientKernel : UniformKernel {
  static constexpr const char* name = "uniform_and_gradient";
  static constexpr std::size_t outputs = 3;
  static std::array<double, 3> evaluate(double u, double rho) noexcept {
    return gradient_detail::as_outputs<3>(models::uniform_law_gradient(u, rho));
  }
};

struct LinearGradientKernel : LinearKernel {
  static constexpr const char* name = "linear_and_gradient";
  static constexpr std::size_t outputs = 4;
  static std::array<double, 4> evaluate(double u, double rho, double u1) noexcept {
    return gradient_detail::as_outputs<4>(models::linear_law_gradient(u, rho, u1));
  }
};

struct QuadraticGradientKernel : QuadraticKernel {
  static constexpr const char* name = "quadratic_and_gradient";
  static constexpr std::size_t outputs = 5;
  static std::array<double, 5> evaluate(double u, double rho, double a, double b) noexcept {
    return gradient_detail::as_outputs<5>(models::quadratic_law_gradient(u, rho, a, b));
  }
};

struct SquareRootGradientKernel : SquareRootKernel {
  static constexpr const char* name = "square_root_and_gradient";
  static constexpr std::size_t outputs = 5;
  static std::array<double, 5> evaluate(double u, double rho, double c, double d) noexcept {
    return gradient_detail::as_outputs<5>(models::square_root_law_gradient(u, rho, c, d));
  }
};

struct LogarithmicGradientKernel : LogarithmicKernel {
  static constexpr const char* name = "logarithmic_and_gradient";
  static constexpr std::size_t outputs = 5;
  static std::array<double, 5> evaluate(double u, double rho, double e, double f) noexcept {
    return gradient_detail::as_outputs<5>(models::logarithmic_law_gradient(u, rho, e, f));
  }
};

struct Power2GradientKernel : Power2Kernel {
  static constexpr const char* name = "power2_and_gradient";
  static constexpr std::size_t outputs = 5;
  static std::array<double, 5> evaluate(double u, double rho, double c, double alpha) noexcept {
    // Per thread of work, as for the values (law_kernels.hpp): the rules depend on alpha alone.
    thread_local models::PowerLawRules rules;
    return gradient_detail::as_outputs<5>(models::power2_law_gradient(u, rho, c, alpha, rules));
  }
};

}  // namespace obrivane::module::fspl
