// The limb-darkened magnification under the names of its two classical derivations.
#include "models/profile_weighted.hpp"

#include "models/limb_darkened.hpp"

namespace obrivane::models {

ModelResult<std::vector<double>> integrated_witt_mao_magnification(std::vector<double> l, double re,
                                                                   double rstar) {
  return limb_darkened_magnification(l, re, rstar);
}

ModelResult<std::vector<double>> integrated_heyrovsky_magnification(std::vector<double> l, double re,
                                                                    double rstar) {
  return limb_darkened_magnification(l, re, rstar);
}

}  // namespace obrivane::models
