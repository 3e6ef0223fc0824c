// The integrands of a disk's derivatives along one line through the lens (notation of
// power_weighted_disk_gradient.cpp): the line's contribution to T_(p-2) and to the slope in u,
// from the chord sums G_T and G_S of F(m + h s) and s F(m + h s) against a chord weight.
#pragma once

#include <cmath>
#include <span>

#include "models/point_lens_along_line.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models::slope_lines {

// The two angle integrands (or their sums) of one line.
struct LineSums {
  double lower = 0;  // of T_(p-2)
  double slope = 0;  // of the slope in u, without its factor p/a^2

  LineSums& operator+=(const LineSums& other) noexcept {
    lower += other.lower;
    slope += other.slope;
    return *this;
  }
  friend LineSums operator*(double factor, const LineSums& sums) noexcept {
    return {factor * sums.lower, factor * sums.slope};
  }
  friend LineSums operator*(const LineSums& sums, double factor) noexcept { return factor * sums; }
  friend LineSums operator+(LineSums left, const LineSums& right) noexcept { return left += right; }
};

struct ChordSums {
  double plain = 0;   // G_T
  double moment = 0;  // G_S
};

// The chord sums of kernel(w), F(w) = point_lens_times_radius unless another is given (the
// point-lens excess of large_source_lines.hpp).
template <class Kernel>
ChordSums chord_sums_of(const Kernel& kernel, double m, double h,
                        std::span<const numeric::GaussNode> rule) noexcept {
  ChordSums sums;
  for (const numeric::GaussNode& point : rule) {
    const double f = point.weight * kernel(m + h * point.abscissa);
    sums.plain += f;
    sums.moment += point.abscissa * f;
  }
  return sums;
}

inline ChordSums chord_sums(double m, double h, std::span<const numeric::GaussNode> rule) noexcept {
  return chord_sums_of([](double w) { return point_lens_times_radius(w); }, m, h, rule);
}

// With the lens outside, in t = (u/a) sin(theta): sin(theta) = a t/u, cos(theta) = m/u and
// dtheta = (a/m) dt, so the line carries (a/m) G_T and (a/u) (h G_S - (a^2 t^2/m) G_T).
inline LineSums outside_line(double u, double a, double m, double h, double t_squared,
                             const ChordSums& chord) noexcept {
  return {(a / m) * chord.plain, (a / u) * (h * chord.moment - ((a * a) * t_squared / m) * chord.plain)};
}

// The line at t of the lens well outside (u >= gauss_outside_ratio a), its chord sums of kernel(w)
// from the rule rule_for(h) of its half-length h; well_outside_line with F.
template <class Kernel, class RuleFor>
LineSums well_outside_line_of(const Kernel& kernel, double u, double a, double t,
                              const RuleFor& rule_for) noexcept {
  const double at = a * t;
  const double m = std::sqrt((u - at) * (u + at));
  const double h = a * std::sqrt((1 - t) * (1 + t));
  return outside_line(u, a, m, h, t * t, chord_sums_of(kernel, m, h, rule_for(h)));
}

template <class RuleFor>
LineSums well_outside_line(double u, double a, double t, const RuleFor& rule_for) noexcept {
  return well_outside_line_of([](double w) { return point_lens_times_radius(w); }, u, a, t, rule_for);
}

// With the lens inside, m = u cos(theta): cos(theta) = m/u and u sin^2(theta) = (u - m)(u + m)/u,
// so the slope's integrand is h (m/u) G_S - ((u - m)(u + m)/u) G_T; with the lens over the centre
// (u = 0) it vanishes with its factors.
inline double inside_slope(double u, double m, double h, const ChordSums& chord) noexcept {
  return u > 0 ? h * (m / u) * chord.moment - ((u - m) * (u + m) / u) * chord.plain : 0.0;
}

}  // namespace obrivane::models::slope_lines
