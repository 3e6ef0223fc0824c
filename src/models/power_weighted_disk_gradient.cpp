// Derivatives of the mu^p-weighted disk by lines through the lens (notation of
// power_weighted_disk.cpp). With the source centre c = (u, 0), mu^2 = 1 - |r - c|^2/a^2 and
// T_p = (1/(pi a^2)) integral of mu^p A d^2r, the derivatives move onto the brightness, which
// vanishes on the limb for p > 0 so that moving the limb adds nothing:
//   dT_p/du = (p/a^2) (1/(pi a^2)) integral mu^(p-2) (x - u) A d^2r,
//   a dT_p/da = p T_(p-2) - (p + 2) T_p,
// since d(mu^p)/du = p mu^(p-2) (x - u)/a^2 and d(mu^p)/da = p mu^(p-2) (1 - mu^2)/a. On the line
// at angle theta, x - u = -u sin^2(theta) + h s cos(theta) and mu^(p-2) dw =
// (h/a)^(p-2) h (1 - s^2)^((p-2)/2) ds, so both integrals take the angle integrand (h/a)^(p-1)
// times
//   G_T                                      for T_(p-2),
//   -u sin^2(theta) G_T + h cos(theta) G_S   for the slope in u,
// G_T and G_S the integrals of F(m + h s) and s F(m + h s) against (1 - s^2)^((p-2)/2), from the
// Gauss rules of PowerChordRules(p - 2). G_T is even in h and G_S odd, so both factors are
// analytic in h^2, and the angle rules of power_weighted_lines.hpp with e = p - 1 take the power:
// the outside and limb rules of PowerChordRules(p - 2) carry exactly (1 - t^2)^((p-1)/2). One pass
// over the lines gives both integrals, each chord point serving G_T and G_S.
#include "models/power_weighted_disk_gradient.hpp"

#include <cmath>
#include <span>

#include "models/disk_slope_lines.hpp"
#include "models/power_weighted_lines.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {

PowerDiskSlopes power_weighted_disk_slopes(double u, double a, double p, double value,
                                           const PowerChordRules& lower_rules) noexcept {
  using slope_lines::chord_sums;
  using slope_lines::ChordSums;
  using slope_lines::LineSums;
  // Each line's chord rule by its own half-length (chord_rules.hpp).
  const auto rule_for = [&lower_rules](double h) { return lower_rules.for_length(h); };
  const double e = p - 1;
  LineSums integrals;
  if (u >= power_lines::gauss_outside_ratio * a) {
    integrals = power_lines::well_outside(a, lower_rules.outside_rule(a), [&](double t) {
      return slope_lines::well_outside_line(u, a, t, rule_for);
    });
  } else if (u > a) {
    const double beyond = u - a;
    integrals = power_lines::just_outside(u, a, e, lower_rules.limb_rule(), [&](double y) {
      const double t = 1 - y;
      const double m = std::sqrt((beyond + a * y) * (u + a * t));
      const double h = a * std::sqrt(y * (2 - y));
      return slope_lines::outside_line(u, a, m, h, t * t, chord_sums(m, h, rule_for(h)));
    });
  } else {
    integrals = power_lines::over_lines(
        u, a,
        [&](double m, double h) {
          const double q = h / a;
          // The quadratic and square-root laws' exponents without pow.
          const double power = e == 1 ? q : e == -0.5 ? 1 / std::sqrt(q) : std::pow(q, e);
          const ChordSums chord = chord_sums(m, h, rule_for(h));
          return LineSums{power * chord.plain, power * slope_lines::inside_slope(u, m, h, chord)};
        },
        1);
  }
  return {(p / (a * a)) * integrals.slope, (p * integrals.lower - (p + 2) * value) / a};
}

}  // namespace obrivane::models
