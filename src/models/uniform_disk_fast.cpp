// The uniform disk's magnification to a few ulps: the closed form of uniform_disk_fast_form.hpp
// (Witt & Mao's integrals as two of Bulirsch's from one loop) near the source, the mean-value
// series clear of it, bounded below by 1.
#include "models/uniform_disk_fast.hpp"

#include "models/source_radius.hpp"
#include "models/uniform_disk_fast_form.hpp"

namespace obrivane::models {

double uniform_disk_magnification_fast(double u, double rho) noexcept {
  // A mean of the point-lens magnification is at least 1; rounding must not take it below.
  const double value = uniform_fast::magnification(u, rho);
  return at_least_one(value);
}

}  // namespace obrivane::models
