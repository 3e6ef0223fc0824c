// The uniform disk's derivatives: the evaluation of uniform_disk_fast_form.hpp run on dual numbers
// with the tangents (1, 0) for u and (0, 1) for rho; its exact power-of-two rescaling of tiny
// sizes scales the tangents alike, so the derivatives of A(c u, c rho) / c come out scaled by 1/c^2.
#include "models/uniform_disk_gradient.hpp"

#include <cmath>
#include <limits>

#include "models/uniform_disk_fast_form.hpp"
#include "numeric/dual.hpp"

namespace obrivane::models {

DiskGradient uniform_disk_gradient(double u, double rho) noexcept {
  constexpr double infinity = std::numeric_limits<double>::infinity();
  using Dual = numeric::Dual<2>;
  if (!(u >= 0) || !(rho > 0) || !std::isfinite(rho)) {
    return {uniform_fast::quiet_nan, uniform_fast::quiet_nan, uniform_fast::quiet_nan};
  }
  if (u == infinity || rho > uniform_fast::indistinguishable_radius) return {1, 0, 0};
  if (u == rho) return {uniform_fast::magnification(u, rho), -infinity, infinity};
  const Dual magnification = uniform_fast::magnification(Dual::variable(u, 0), Dual::variable(rho, 1));
  return {magnification.value, magnification.tangent[0], magnification.tangent[1]};
}

}  // namespace obrivane::models
