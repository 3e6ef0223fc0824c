// Complete elliptic integral of the third kind for 0 < n < 1, given vc = 1 - n from the caller
// (who may know it more accurately than 1 - n would give):
//   Pi(n, m) = R_F(0, 1 - m, 1) + n/3 R_J(0, 1 - m, 1, 1 - n).
// Reached only with 1 - m above machine epsilon and vc > 0.
#pragma once

#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/elliprj.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

inline EllipticResult ellippi_vc(double n, double m, double vc) noexcept {
  const EllipticResult rf = elliprf(0, 1 - m, 1);
  if (!rf.ok()) return rf;
  const EllipticResult rj = elliprj(0, 1 - m, 1, vc);
  if (!rj.ok()) return rj;
  return EllipticResult::value_of(rf.value() + n * rj.value() / 3);
}

}  // namespace obrivane::numeric
