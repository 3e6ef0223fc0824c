// Magnification of a source whose radial brightness profile is given as a table (bl radii in
// stellar radii, bf brightness values).
#pragma once

#include <vector>

#include "models/model_result.hpp"

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

}  // namespace obrivane::models
