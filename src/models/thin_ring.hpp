// Magnification of a thin, uniformly bright ring on the source by a point-mass lens (Heyrovsky 2003).
#pragma once

#include "models/model_result.hpp"

namespace obrivane::models {

// The mean point-lens magnification over a ring of radius r whose centre lies at distance l
// from the lens; l and r in stellar radii, re and rstar in one common unit.
ModelResult<double> heyrovsky_magnification(double l, double r, double re, double rstar);

}  // namespace obrivane::models
