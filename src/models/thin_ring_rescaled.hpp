// The thin-ring magnification from dimensionless ratios alone, for any scale of the inputs.
#pragma once

#include "models/model_result.hpp"

namespace obrivane::models {

// The mean point-lens magnification over a ring of radius r about a centre at distance l from
// the lens, with q = re / rstar the Einstein radius in the same unit. Requires finite l, r >= 0
// with r != l, finite re >= 0 and finite rstar > 0. The result is 1 + O(q^2) for a vanishing q
// and overflows to +inf only where the magnification itself exceeds the largest double.
ModelResult<double> thin_ring_rescaled(double l, double r, double re, double rstar);

}  // namespace obrivane::models
