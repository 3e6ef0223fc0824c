// The point lens A(u) = (u^2 + 2)/(u sqrt(u^2 + 4)) and its derivative
//   dA/du = -8 / (u^2 (u^2 + 4)^(3/2)),
// in 1/u from u = 1 on (v = 1/u: -8 v^5 / (1 + 4 v^2)^(3/2)), so that no power overflows.
#include <cmath>
#include <limits>

#include "models/brightness_laws.hpp"
#include "models/law_gradients.hpp"

namespace obrivane::models {

PointSourceGradient point_source_gradient(double u) noexcept {
  const double magnification = point_source_magnification(u);
  if (std::isnan(magnification)) return {magnification, magnification};
  if (u == 0) return {magnification, -std::numeric_limits<double>::infinity()};
  if (u >= 1) {
    const double v = 1 / u;
    const double v_squared = v * v;
    const double root = std::sqrt(1 + 4 * v_squared);
    return {magnification, -8 * ((v_squared * v_squared) * v) / ((1 + 4 * v_squared) * root)};
  }
  const double u_squared = u * u;
  const double four_plus = u_squared + 4;
  return {magnification, -8 / (u_squared * (four_plus * std::sqrt(four_plus)))};
}

}  // namespace obrivane::models
