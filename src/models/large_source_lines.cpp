// Lines through a lens well outside a large disk (notation of power_weighted_disk.cpp). On the line
// at angle theta the chord runs from s_1 = m - h > 0 to m + h, and g's branch points w = +-2i lie
// at s = (-m +- 2i)/h in the chord variable, beyond the end s = -1 by delta = s_1/h along the axis.
// With u >= 1.25 a the line through the centre has delta >= 0.25 and every other line more, so the
// Bernstein ellipse through the branch points has a ratio of at least
// 1 + delta + sqrt(delta (2 + delta)) = 2, and the 28-point rules of PowerChordRules
// (excess_chord_length) reach 2^-56; the angle integral in t = (u/a) sin(theta) is that of
// power_weighted_disk.cpp, whose only singularity, 1/m at t = u/a >= 1.25, the 32-point rule takes
// (all independent of the size of the disk). From twice the radius on, the shorter rules of
// far_excess_lines.
#include "models/large_source_lines.hpp"

#include <cmath>
#include <span>

#include "models/disk_slope_lines.hpp"
#include "models/point_lens_along_line.hpp"
#include "models/power_weighted_lines.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {
double power_weighted_disk_excess_outside(double u, double a, const PowerChordRules& rules) noexcept {
  const std::span<const numeric::GaussNode> chord_rule = rules.for_length(excess_chord_length_for(u, a));
  return power_lines::well_outside(a, rules.outside_rule(excess_angle_radius_for(u, a)), [&](double t) {
    const double at = a * t;
    const double m = std::sqrt((u - at) * (u + at));
    const double h = a * std::sqrt((1 - t) * (1 + t));
    return (a / m) * chord_sum_of(excess_kernel, m, h, chord_rule);
  });
}

double mu_weighted_disk_excess_outside(double u, double a) noexcept {
  static const PowerChordRules rules(1);
  return power_weighted_disk_excess_outside(u, a, rules);
}

PowerAndLogarithm mu_and_log_weighted_disk_excess_outside(double u, double a) noexcept {
  static const PowerChordRules rules(1);
  static const PowerChordSlopes slopes(1, rules);
  return power_logarithm_weighted_disk_excess_outside(u, a, rules, slopes);
}

PowerDiskSlopes power_weighted_disk_excess_slopes_outside(double u, double a, double p, double value,
                                                          const PowerChordRules& lower_rules) noexcept {
  const std::span<const numeric::GaussNode> chord_rule =
      lower_rules.for_length(excess_chord_length_for(u, a));
  const slope_lines::LineSums integrals =
      power_lines::well_outside(a, lower_rules.outside_rule(excess_angle_radius_for(u, a)), [&](double t) {
        return slope_lines::well_outside_line_of(excess_kernel, u, a, t, [&](double) { return chord_rule; });
      });
  return {(p / (a * a)) * integrals.slope, (p * integrals.lower - (p + 2) * value) / a};
}

}  // namespace obrivane::models
