// Derivatives of the disk of brightness mu ln mu, the derivative in p of mu^p at p = 1, by lines
// through the lens (notation of power_weighted_disk_gradient.cpp). With L_q the mean of
// mu^q ln mu A over the disk, the derivatives of T_p there taken in p at p = 1 give
//   dL_1/du = dT_1/du + S/a^2,
//   a dL_1/da = a dT_1/da + 2 T_1 + L_-1 - 3 L_1,
// where T_1 and its derivatives are the mu-weighted disk's, and L_-1 and S take the angle
// integrands of T_(p-2) and of the slope differentiated in p: their power (h/a)^(p-1) brings
// ln(h/a), and their chord weight (1 - s^2)^((p-2)/2) brings (1/2) ln(1 - s^2) (1 - s^2)^(-1/2).
// So on each line
//   L_-1:  ln(h/a) G_T - G_L/2,
//   S:     ln(h/a) D_T - D_L/2,    D = -u sin^2(theta) G + h cos(theta) G_S,
// with G_T, G_S of the weight (1 - s^2)^(-1/2) (Gauss-Chebyshev of the first kind) and G_L, G_LS
// of -ln(1 - s^2) (1 - s^2)^(-1/2) (its logarithmic rule), at the node counts of the mu-weighted
// disk. The angle integrands are analytic but for ln(h/a), singular at the tangent line:
//   inside, ln(h/a) has its branch points where (h/a)^e has them, and the graded panels of
//   power_weighted_lines.hpp take it as they take any power;
//   well outside, ln(h/a) = ln(1 - t^2)/2 in t = (u/a) sin(theta), so the Gauss-Legendre rule
//   and that of -ln(1 - t^2) take the two parts of each integrand;
//   just outside, in y = 1 - t, ln(1 - t^2) = ln y + ln(2 - y): on the first panel, y = epsilon z,
//   the rules of 1 and -ln z on [0, 1] take the parts in ln z, and the graded Gauss-Legendre
//   panels beyond see the logarithm's branch point at or beyond their own distance from 0.
#include "models/log_weighted_disk_gradient.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>

#include "models/chord_rules.hpp"
#include "models/disk_slope_lines.hpp"
#include "models/large_source_lines.hpp"
#include "models/point_lens_along_line.hpp"
#include "models/power_weighted_lines.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {
namespace {

using slope_lines::chord_sums;
using slope_lines::ChordSums;
using slope_lines::LineSums;

// A line just outside at y = 1 - t as two parts: that multiplied by ln(1 - t^2)/2 and that
// multiplied by -1/2. m from the distance beyond the limb, u - a t = (u - a) + a y, without
// cancellation.
struct OutsideLine {
  LineSums logged;
  LineSums plain;
};

OutsideLine line_just_outside(double u, double a, double y) noexcept {
  const double t = 1 - y;
  const double m = std::sqrt(((u - a) + a * y) * (u + a * t));
  const double h = a * std::sqrt(y * (2 - y));
  const ChordBandRules& rules = chord_rules_for(h);
  const double t_squared = t * t;
  return {slope_lines::outside_line(u, a, m, h, t_squared, chord_sums(m, h, rules.chebyshev_t)),
          slope_lines::outside_line(u, a, m, h, t_squared, chord_sums(m, h, rules.log_chebyshev_t))};
}

// The lens well outside, the chord sums of `kernel` (F, or the point-lens excess of a large source)
// by the rules `chords_for(h)`, the angle by the rules of a disk of `angle_radius` (24 points up to
// 3, else 32).
template <class Kernel, class ChordsFor>
LineSums well_outside_of(const Kernel& kernel, double u, double a, double angle_radius,
                         const ChordsFor& chords_for) noexcept {
  const bool small = angle_radius <= 3;
  const std::span<const numeric::GaussNode> plain =
      small ? std::span<const numeric::GaussNode>(numeric::gauss_legendre_24) : numeric::gauss_legendre_32;
  const std::span<const numeric::GaussNode> logged =
      small ? std::span<const numeric::GaussNode>(numeric::gauss_log_legendre_24)
            : numeric::gauss_log_legendre_32;
  // (1/2) ln(1 - t^2) X - (1/2) X_L = -(1/2) (w_L X + X_L), w_L = -ln(1 - t^2) the log rule's weight;
  // each part needs only its own chord sums.
  const LineSums with_log_weight = power_lines::well_outside(a, logged, [&](double t) {
    return slope_lines::well_outside_line_of(kernel, u, a, t,
                                             [&](double h) { return chords_for(h).chebyshev_t; });
  });
  const LineSums with_log_chords = power_lines::well_outside(a, plain, [&](double t) {
    return slope_lines::well_outside_line_of(kernel, u, a, t,
                                             [&](double h) { return chords_for(h).log_chebyshev_t; });
  });
  return -0.5 * (with_log_weight + with_log_chords);
}

LineSums well_outside(double u, double a) noexcept {
  return well_outside_of([](double w) { return point_lens_times_radius(w); }, u, a, a,
                         [](double h) { return chord_rules_for(h); });
}

LineSums just_outside(double u, double a) noexcept {
  const double epsilon = std::min(std::max(2 * ((u - a) / a), power_lines::limb_epsilon_floor), 1.0);
  const double log_epsilon = std::log(epsilon);
  const auto line_at = [&](double y) { return line_just_outside(u, a, y); };
  LineSums first;
  for (const numeric::GaussNode& node : numeric::gauss_end_0_16) {
    const double y = epsilon * node.abscissa;
    const OutsideLine at = line_at(y);
    first += node.weight * (0.5 * (log_epsilon + std::log(2 - y)) * at.logged + (-0.5) * at.plain);
  }
  for (const numeric::GaussNode& node : numeric::gauss_log_end_0_16) {
    // (1/2) ln z X = -(1/2) (-ln z) X.
    first += node.weight * (-0.5 * line_at(epsilon * node.abscissa).logged);
  }
  LineSums integral = epsilon * first;
  power_lines::graded_panels(epsilon, 1, [&](double from, double to) {
    const double half_range = (to - from) * 0.5;
    const double middle = from + half_range;
    LineSums sum;
    for (const numeric::GaussNode& node : numeric::gauss_legendre_16) {
      const double y = middle + half_range * node.abscissa;
      const OutsideLine at = line_at(y);
      sum += node.weight * (0.5 * std::log(y * (2 - y)) * at.logged + (-0.5) * at.plain);
    }
    integral += half_range * sum;
  });
  return (2 / (std::numbers::pi * a)) * integral;
}

}  // namespace

PowerDiskSlopes log_weighted_disk_slopes(double u, double a, double value, const DiskGradient& mu) noexcept {
  LineSums integrals;
  if (u >= power_lines::gauss_outside_ratio * a) {
    integrals = well_outside(u, a);
  } else if (u > a) {
    integrals = just_outside(u, a);
  } else {
    integrals = power_lines::over_lines(
        u, a,
        [&](double m, double h) {
          const double log_q = std::log(h / a);
          const ChordBandRules& rules = chord_rules_for(h);
          const ChordSums plain = chord_sums(m, h, rules.chebyshev_t);
          const ChordSums logged = chord_sums(m, h, rules.log_chebyshev_t);
          return LineSums{log_q * plain.plain - 0.5 * logged.plain,
                          log_q * slope_lines::inside_slope(u, m, h, plain) -
                              0.5 * slope_lines::inside_slope(u, m, h, logged)};
        },
        1);
  }
  // T_1 and its derivatives from the mu-weighted disk's magnification (T_1 = 2/3 of it).
  constexpr double mu_flux = 2.0 / 3;
  const double t_one = mu_flux * mu.magnification;
  const double d_u = mu_flux * mu.d_u + integrals.slope / (a * a);
  const double d_radius = mu_flux * mu.d_radius + ((2 * t_one + integrals.lower) - 3 * value) / a;
  return {d_u, d_radius};
}

PowerDiskSlopes log_weighted_disk_excess_slopes_outside(double u, double a, double value,
                                                        const TermIntegral& mu) noexcept {
  const ChordBandRules& excess_rules = chord_rules_for(excess_chord_length_for(u, a));
  const LineSums integrals =
      well_outside_of(excess_kernel, u, a, excess_angle_radius_for(u, a),
                      [&excess_rules](double) -> const ChordBandRules& { return excess_rules; });
  // As log_weighted_disk_slopes, each integral's flux part cancelling: 2 (2/3) - 2 + 3 (2/9) = 0.
  return {mu.d_u + integrals.slope / (a * a), mu.d_rho + ((2 * mu.excess + integrals.lower) - 3 * value) / a};
}

}  // namespace obrivane::models
