// The magnification of each limb-darkening law of brightness_laws.hpp together with its exact
// partial derivatives: with respect to the separation u, the source radius rho (both in Einstein
// radii) and each coefficient of the law, in the law's argument order. The derivatives come from
// the same integral representations as the values, differentiated under the integral sign; none
// is a finite difference.
//
// Every function is pure and allocates nothing. Where the magnification is NaN (geometry without a
// value, a NaN coefficient) every derivative is NaN too; at u = +inf the magnification is 1 and
// every derivative 0.
#pragma once

#include <array>

#include "models/brightness_laws.hpp"

namespace obrivane::models {

struct PointSourceGradient {
  double magnification;
  double d_u;
};

// A law's magnification and its gradient; d_coefficients holds as many entries as the law has
// coefficients (none for the uniform disk, one for the linear law), the rest are 0.
struct LawGradient {
  double magnification;
  double d_u;
  double d_rho;
  std::array<double, 2> d_coefficients;
};

PointSourceGradient point_source_gradient(double u) noexcept;

// The uniform disk's derivatives diverge logarithmically where the lens crosses the limb: at
// u = rho exactly d_u is -inf and d_rho +inf (the magnification falls steeply as the lens leaves
// the disk). A law inherits them times its brightness at the limb over its flux, so with a
// positive limb brightness the same infinities, with a negative one the opposite, and with none
// (the linear law with u1 = 1, the power-2 law with c = 1) finite derivatives; the profiles mu^p
// add terms in |u - rho|^(p/2) to the derivatives, continuous across the limb but steep there.
LawGradient uniform_law_gradient(double u, double rho) noexcept;
LawGradient linear_law_gradient(double u, double rho, double u1) noexcept;
LawGradient quadratic_law_gradient(double u, double rho, double a, double b) noexcept;
LawGradient square_root_law_gradient(double u, double rho, double c, double d) noexcept;
LawGradient logarithmic_law_gradient(double u, double rho, double e, double f) noexcept;
LawGradient power2_law_gradient(double u, double rho, double c, double alpha, PowerLawRules& rules) noexcept;

}  // namespace obrivane::models
