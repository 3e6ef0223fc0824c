// Magnification of a source whose radial brightness profile is given as a table (bl radii in
// stellar radii, bf brightness values).
#pragma once

#include <vector>

#include "models/model_result.hpp"
#include "models/tabulated_interpolant.hpp"

namespace obrivane::models {

ModelResult<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                           double rstar,
                                                                           std::vector<double> bl,
                                                                           std::vector<double> bf);
ModelResult<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double> l, double re,
                                                                            double rstar,
                                                                            std::vector<double> bl,
                                                                            std::vector<double> bf);
ModelResult<std::vector<double>> integrated_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                             double rstar,
                                                                             std::vector<double> bl,
                                                                             std::vector<double> bf);

// The magnification by parts over the profile's pieces, for a lens within four source radii of
// the centre (0 <= l < 4) and a source neither too small nor too large for the disk magnification
// (the integrated functions keep to that range and treat the rest by scaling and limits).
double tabulated_near_magnification(const TabulatedInterpolant& profile, double l, double rho);

}  // namespace obrivane::models
