// TEMPORARY stand-in until the models branch lands (not committed).
#pragma once
#include <cmath>
#include <limits>
#include "models/mu_weighted_disk.hpp"
#include "models/uniform_disk.hpp"
namespace obrivane::models {
inline double point_source_magnification(double u) noexcept {
  if (!(u >= 0)) return std::numeric_limits<double>::quiet_NaN();
  return (u * u + 2) / (u * std::sqrt(u * u + 4));
}
inline double uniform_law_magnification(double u, double rho) noexcept {
  if (!(u >= 0) || !(rho > 0) || !std::isfinite(rho)) return std::numeric_limits<double>::quiet_NaN();
  return uniform_disk_magnification_accurate(u, rho);
}
inline double linear_law_magnification(double u, double rho, double u1) noexcept {
  if (!(u >= 0) || !(rho > 0) || !std::isfinite(rho)) return std::numeric_limits<double>::quiet_NaN();
  const double a0 = uniform_disk_magnification_accurate(u, rho);
  const double a1 = rho <= largest_radius_by_lines ? mu_weighted_disk_magnification(u, rho) : mu_weighted_disk_magnification_radial(u, rho);
  return ((1 - u1) * a0 + (2 * u1 / 3) * a1) / (1 - u1 / 3);
}
inline double quadratic_law_magnification(double u, double rho, double a, double) noexcept { return linear_law_magnification(u, rho, a); }
inline double square_root_law_magnification(double u, double rho, double c, double) noexcept { return linear_law_magnification(u, rho, c); }
inline double logarithmic_law_magnification(double u, double rho, double e, double) noexcept { return linear_law_magnification(u, rho, e); }
class PowerLawRules { public: double last = -1; };
inline double power2_law_magnification(double u, double rho, double c, double, PowerLawRules&) noexcept { return linear_law_magnification(u, rho, c); }
inline double linear_law_flux(double u1) noexcept { return 1 - u1 / 3; }
inline double quadratic_law_flux(double a, double b) noexcept { return 1 - a / 3 - b / 6; }
inline double square_root_law_flux(double c, double d) noexcept { return 1 - c / 3 - d / 5; }
inline double logarithmic_law_flux(double e, double f) noexcept { return 1 - e / 3 + 2 * f / 9; }
inline double power2_law_flux(double c, double alpha) noexcept { return 1 - c * alpha / (alpha + 2); }
}
