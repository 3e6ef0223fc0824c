// Magnification of a source with the linear limb-darkening law I = 1 - 0.6 (1 - mu),
// mu = sqrt(1 - x^2): the brightness-weighted mean of the point-lens magnification over the disk.
#pragma once

#include <vector>

namespace obrivane::models {

// At separation x (source radii) for the source radius rho (Einstein radii), 0 < rho < inf.
// NaN for a negative or non-finite x.
double limb_darkened_magnification(double x, double rho) noexcept;

// Every separation of l, on the worker pool, in the order of l; all NaN for radii that describe
// no source.
std::vector<double> limb_darkened_magnification(const std::vector<double>& l, double re, double rstar);

}  // namespace obrivane::models
