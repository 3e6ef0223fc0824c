// Magnification of a source darkened towards its limb by the linear law with coefficient 0.6,
// I = 1 - 0.6 (1 - mu): the brightness-weighted mean of the point-lens magnification over the
// source disk. The two names are the concentric-disk and thin-ring views of one physical
// quantity, so they share one evaluation and agree exactly.
#pragma once

#include <vector>

#include "models/model_result.hpp"

namespace obrivane::models {

ModelResult<std::vector<double>> integrated_witt_mao_magnification(std::vector<double> l, double re,
                                                                   double rstar);
ModelResult<std::vector<double>> integrated_heyrovsky_magnification(std::vector<double> l, double re,
                                                                    double rstar);

}  // namespace obrivane::models
