// Carlson's symmetric integral of the third kind for p > 0, without argument checks:
//   R_J(x, y, z, p) = 3/2 * integral_0^inf dt / ((t + p) sqrt((t + x)(t + y)(t + z))),
// by duplication with a seventh-order series (Carlson 1995). Each pass adds a term
// 6 * 4^-k / D_k * R_C(1, 1 + E_k); the R_C values are taken in closed form.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>

#include "numeric/carlson/elliprc.hpp"
#include "numeric/carlson/elliprd.hpp"
#include "numeric/elliptic_constants.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

namespace detail {

// R_C(1, 1 + e) for e > -1 (and its principal value for e < -1), written out so that no
// argument checks or prefactors are evaluated inside the duplication loop.
inline double rc_one_one_plus(double e) noexcept {
  if (e < -1) {
    const EllipticResult principal = elliprc(-e, -1 - e);
    return std::sqrt(1 / (-e)) * principal.value();
  }
  if (e == 0) return 1;
  if (e > 0) return std::atan(std::sqrt(e)) / std::sqrt(e);
  if (e > -0.5 && e < 0) {
    // atanh(sqrt(-e)) / sqrt(-e) through log1p, accurate for small |e|.
    return (std::log1p(std::sqrt(-e)) - std::log1p(-std::sqrt(-e))) / (2 * std::sqrt(-e));
  }
  return std::log((1 + std::sqrt(-e)) / std::sqrt(1 + e)) / std::sqrt(-e);
}

}  // namespace detail

inline EllipticResult _elliprj(double x, double y, double z, double p) noexcept {
  namespace constants = elliptic_constants;
  if (x == y && x == z) {
    if (x == p) return EllipticResult::value_of(1 / (x * std::sqrt(x)));
    const EllipticResult rc = elliprc(x, p);
    if (!rc.ok()) return rc;
    return EllipticResult::value_of((3 / (x - p)) * (rc.value() - 1 / std::sqrt(x)));
  }

  // R_J is symmetric in x, y and z: bring a pair of equal arguments into y and z.
  if (x == y) std::swap(x, z);

  if (y == z) {
    if (y == p) return elliprd(x, y, y);
    if (std::max(y, p) / std::min(y, p) > constants::rj_ratio_bound) {
      // R_J(x, y, y, p) = 3 (R_C(x, y) - R_C(x, p)) / (p - y), well conditioned when y and p differ.
      const EllipticResult rc_y = elliprc(x, y);
      if (!rc_y.ok()) return rc_y;
      const EllipticResult rc_p = elliprc(x, p);
      if (!rc_p.ok()) return rc_p;
      return EllipticResult::value_of((3 / (p - y)) * (rc_y.value() - rc_p.value()));
    }
  }

  if (z == p) return elliprd(x, y, z);

  const double mean0 = (x + y + z + 2 * p) / 5;
  double delta = (p - x) * (p - y) * (p - z);
  const double spread =
      constants::rj_stop_factor * std::max(std::max(std::fabs(mean0 - x), std::fabs(mean0 - y)),
                                           std::max(std::fabs(mean0 - z), std::fabs(mean0 - p)));
  double scale = 1;
  double sum = 0;
  double mean = mean0;
  double xn = x;
  double yn = y;
  double zn = z;
  double pn = p;
  bool converged = false;
  for (int pass = 0; pass < constants::rj_max_passes; ++pass) {
    const double rx = std::sqrt(xn);
    const double ry = std::sqrt(yn);
    const double rz = std::sqrt(zn);
    const double rp = std::sqrt(pn);
    const double d = (rp + rx) * (rp + ry) * (rp + rz);
    const double e = delta / (d * d);
    double term;
    if (-1.5 < e && e < -0.5) {
      // Near e = -1 the closed forms lose accuracy: take R_C(1, b) with b, equal to 1 + e,
      // formed from the square roots without cancellation.
      const double b = 2 * rp * (pn + rx * (ry + rz) + ry * rz) / d;
      const EllipticResult rc = elliprc(1, b);
      if (!rc.ok()) return rc;
      term = rc.value();
    } else {
      term = detail::rc_one_one_plus(e);
    }
    sum = sum + (scale / d) * term;

    const double lambda = rx * ry + rx * rz + ry * rz;
    mean = (mean + lambda) / 4;
    scale = scale / 4;
    if (scale * spread < mean) {
      converged = true;
      break;
    }
    xn = (xn + lambda) / 4;
    yn = (yn + lambda) / 4;
    zn = (zn + lambda) / 4;
    pn = (pn + lambda) / 4;
    delta = delta / 64;
  }
  if (!converged) return EllipticResult::failure("elliprj: Fail to converge");

  const double dx = scale * (mean0 - x) / mean;
  const double dy = scale * (mean0 - y) / mean;
  const double dz = scale * (mean0 - z) / mean;
  const double dp = (-dx - dy - dz) / 2;
  const double e2 = dx * dy + dx * dz + dy * dz - 3 * dp * dp;
  const double e3 = dx * dy * dz + 2 * e2 * dp + 4 * dp * dp * dp;
  const double e4 = (2 * dx * dy * dz + e2 * dp + 3 * dp * dp * dp) * dp;
  const double e5 = dx * dy * dz * dp * dp;
  return EllipticResult::value_of(scale * std::pow(mean, -1.5) * detail::rd_rj_series(e2, e3, e4, e5) +
                                  6 * sum);
}

}  // namespace obrivane::numeric
