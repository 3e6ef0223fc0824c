// Magnification of a source with a radial brightness profile I(x) (limb darkening):
//   A = integral_0^1 2 pi x I(x) A_ring(x) dx / N,   N = integral_0^1 2 pi x I(x) dx,
// with A_ring(x) the magnification of the thin ring of radius x on the source.
#pragma once

#include <vector>

#include "models/model_result.hpp"
#include "models/source_profile.hpp"

namespace obrivane::models {

// With the built-in linear limb-darkening law of coefficient 0.6.
ModelResult<std::vector<double>> integrated_witt_mao_magnification(std::vector<double> l, double re,
                                                                   double rstar);
ModelResult<std::vector<double>> integrated_heyrovsky_magnification(std::vector<double> l, double re,
                                                                    double rstar);

// Disk family: the integrand is pi I(x) d(x^2 A_disk(x))/dx, with A_disk(x) the uniform-disk
// magnification of the concentric disk of radius x (d(x^2 A_disk)/dx = 2 x A_ring), the
// derivative taken by a central difference. The profile is borrowed for the call and the result
// divided by the normalisation.
ModelResult<std::vector<double>> _integrated_witt_mao_magnification(std::vector<double> l, double re,
                                                                    double rstar,
                                                                    const SourceProfile& profile,
                                                                    double normalisation);

// Ring family: the integrand is 2 pi x I(x) A_ring(x), with Heyrovsky's thin-ring magnification.
ModelResult<std::vector<double>> _integrated_heyrovsky_magnification(std::vector<double> l, double re,
                                                                     double rstar,
                                                                     const SourceProfile& profile,
                                                                     double normalisation);

}  // namespace obrivane::models
