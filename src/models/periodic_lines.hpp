// With the lens inside the disk (u <= a) and an angle integrand analytic in h^2 (notation of
// mu_weighted_disk.cpp: m = u cos(theta), h^2 = a^2 - u^2 sin^2(theta)), the integrand is even in
// theta and of period pi (theta -> pi - theta takes m to -m and the chord into itself), so the
// trapezoidal rule over a period converges geometrically: with 2k points per period its error
// falls as exp(-4 k eta), eta the distance of the nearest singularity from the real axis. The
// chord integrals are singular only where an end of the chord, m +- h, meets a branch point
// w = +-2i of the point-lens integrand; on the disk's boundary r^2 - 2 u r cos(theta) + u^2 = a^2
// that is cos(theta) = +-i (a^2 + 4 - u^2)/(4u), theta = pi/2 +- i eta with
//   sinh(eta) = (a^2 + 4 - u^2) / (4u).
// For a lens well inside a small disk eta is large and a few lines do: 4 (three intervals) at
// u = a/2 for a = 0.01, against 10 for the Gauss-Legendre rule over [0, pi/2]. By the limb of a
// large disk eta shrinks (asinh(1/a) at u = a), and there the Gauss rule, whose nodes crowd the
// end theta = pi/2 where the singularity sits, takes fewer lines.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "models/line_angles.hpp"

namespace obrivane::models::periodic_lines {

// The rule has k intervals over [0, pi/2], k + 1 lines theta_j = j pi / (2k); at most this many.
inline constexpr std::size_t most_intervals = 16;

// The aliasing error is about exp(-4 k eta) times the size of the integrand on the strip about
// the singularity, where |m| reaches 2, relative to its size on the real axis, a^2 for a small
// disk: exp(-4 k eta) max(1, 1/a^2) <= exp(-40) = 4e-18 (measured against mpmath for a = 0.01
// to 3 and u/a = 0.009 to 0.95: the estimate lies above the error, by up to a factor 150). For
// larger disks the integrand grows on the strip far faster than its size on the axis (at a = 10
// the error is 4e4 times the estimate), and the Gauss rules serve.
inline constexpr double decay_exponent = 40;
inline constexpr double largest_radius = 3;

// Whether the angle integrand also carries a power of h that is not analytic in h^2, (h/a)^e for
// the disk weighted by mu^p: it is singular where h^2 = a^2 - u^2 sin^2(theta) vanishes,
// theta = pi/2 +- i acosh(a/u), often nearer the axis than the chord's singularities.
enum class PowerOfH { analytic, singular };

// The number of intervals for the lens at u < a, or 0 when the Gauss rule of `gauss_lines` lines
// is as short; at most most_intervals - 1, so that integrands carrying sin^2(theta), which grows on
// the strip like exp(2 eta) (the derivatives in u), can take one interval more.
inline std::size_t intervals(double u, double a, std::size_t gauss_lines,
                             PowerOfH power = PowerOfH::analytic) noexcept {
  if (a > largest_radius) return 0;
  // At the centre the integrand is constant in theta: one interval, the two lines being equal.
  if (u == 0) return 1;
  // Each singularity with its own size on the strip: the chord's where |m| reaches 2 (above),
  // that of the power of h where |m| is at most a, as on the axis.
  const double chord_eta = std::asinh(((a - u) * (a + u) + 4) / (4 * u));
  const double chord_exponent = decay_exponent + (a < 1 ? -2 * std::log(a) : 0.0);
  double needed = std::ceil(chord_exponent / (4 * chord_eta));
  if (power == PowerOfH::singular)
    needed = std::max(needed, std::ceil(decay_exponent / (4 * std::acosh(a / u))));
  if (!(needed + 1 < static_cast<double>(gauss_lines)) || needed >= static_cast<double>(most_intervals))
    return 0;
  return std::max<std::size_t>(1, static_cast<std::size_t>(needed));
}

// The sines and cosines of theta_j = j pi / (2k), j = 0 .. k, for k = 1 .. most_intervals.
inline const LineAngle& angle(std::size_t k, std::size_t j) noexcept {
  static const auto table = [] {
    std::array<std::array<LineAngle, most_intervals + 1>, most_intervals + 1> made{};
    for (std::size_t intervals = 1; intervals <= most_intervals; ++intervals) {
      for (std::size_t line = 0; line <= intervals; ++line) {
        const double theta =
            (std::numbers::pi / 2) * static_cast<double>(line) / static_cast<double>(intervals);
        made[intervals][line] = {std::sin(theta), std::cos(theta)};
      }
    }
    return made;
  }();
  return table[k][j];
}

// The integral over [0, pi/2] of line(angle), the trapezoidal rule of k intervals, summed in the
// order of the lines (callers that form the same sum alongside others get the same bits).
template <class Line>
auto integral(std::size_t k, Line&& line) noexcept -> decltype(line(LineAngle{})) {
  using Value = decltype(line(LineAngle{}));
  Value sum = 0.5 * line(angle(k, 0));
  for (std::size_t j = 1; j < k; ++j) sum += line(angle(k, j));
  sum += 0.5 * line(angle(k, k));
  return sum * ((std::numbers::pi / 2) / static_cast<double>(k));
}

}  // namespace obrivane::models::periodic_lines
