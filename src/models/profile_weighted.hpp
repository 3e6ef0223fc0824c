// Magnification of a source with a radial brightness profile (limb darkening).
#pragma once

#include <vector>

#include "models/model_result.hpp"

namespace obrivane::models {

// With the built-in linear limb-darkening law of coefficient 0.6.
ModelResult<std::vector<double>> integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar);
ModelResult<std::vector<double>> integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar);

}  // namespace obrivane::models
