// The angle integral over the lines through the lens of a disk whose brightness carries a power of
// mu (notation of power_weighted_disk.cpp): on the line at angle theta the chord is w = m + h s,
// s in [-1, 1], and the angle integrand is (h/a)^e times a function analytic in h^2, for an
// exponent e > -1 (e = p + 1 for the disk weighted by mu^p, e = p - 1 for its derivatives). Where
// e is not an even integer, (h/a)^e has an end-point singularity (h -> 0) at the tangent line
// theta* = asin(a/u) when the lens is outside, and, when the lens is just inside, a
// near-singularity at theta = pi/2, where h^2 = a^2 - u^2 sin^2(theta) reaches a^2 - u^2. Just
// inside, Gauss panels graded towards it take it; just outside, panels graded towards the tangent
// line in t = (u/a) sin(theta), the last by a one-sided Gauss-Jacobi rule; well outside, the
// Gauss-Jacobi rule of (1 - t^2)^(e/2) in t.
//
// The integrands are of any type Value with Value{} = 0, += and products by a double on either
// side (a double, or several integrals sharing their lines).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

#include "models/line_angles.hpp"
#include "models/periodic_lines.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models::power_lines {

// Up to this separation (in source radii) the angle integral takes a Gauss-Legendre rule, and
// from gauss_outside_ratio on a Gauss-Jacobi rule in t = (u/a) sin(theta), where the only
// singularity left is that of 1/m, m = sqrt(u^2 - a^2 t^2), at t = u/a. The rules' errors fall as
// the ratio of the Bernstein ellipse through the nearest singularity to the power -2n: inside,
// psi = i acosh(a/u) gives a ratio above 2.2 for u <= 0.9 a, outside u/a + sqrt(u^2/a^2 - 1) >= 2
// for u >= 1.25 a, so that 24 points reach a few 1e-15 (measured against the source integral at
// both bounds for p = 0.3 to 2.7 and a = 0.01 to 10). Between the two, where (h/a)^e is (nearly)
// singular on the interval, graded Gauss panels (over_lines, just_outside).
inline constexpr double gauss_inside_ratio = 0.9;
inline constexpr double gauss_outside_ratio = 1.25;
// The growth of the graded panels about the limb, and the bounds of their first panels: inside
// (over_lines) and outside (just_outside).
inline constexpr double limb_panel_ratio = 4;
inline constexpr double limb_sigma_floor = 1e-8;
// Just inside, the map psi = sigma sinh(tau) (over_lines) for stretches T = asinh(pi / (2 sigma))
// up to these (32 points, then 40).
inline constexpr double sinh_map_short = 2.62;
inline constexpr double sinh_map_longest = 3.4;
inline constexpr double limb_epsilon_floor = 1e-16;

// Calls panel(from, to) on the panels of [start, end], 0 < start, growing by one ratio, the
// smallest of limb_panel_ratio or less.
template <class Panel>
void graded_panels(double start, double end, Panel&& panel) noexcept {
  if (!(start < end)) return;
  const double span = end / start;
  const double count = std::ceil(std::log(span) / std::log(limb_panel_ratio));
  const double ratio = std::pow(span, 1 / count);
  double from = start;
  for (double i = 1; i <= count; ++i) {
    const double to = i == count ? end : from * ratio;
    panel(from, to);
    from = to;
  }
}

// (2 / (pi a)) times the integral over the angle of line(m, h), the chord integral times
// (h/a)^e, for the lens inside (u <= a). With the angle measured from the perpendicular,
// psi = pi/2 - theta, m = u sin(psi) and h^2 = (a - u)(a + u) + m^2 is formed without
// cancellation where it is smallest.
//
// Well inside a disk of up to three radii the periodic trapezoidal rule (periodic_lines.hpp) takes
// over wherever it needs fewer lines than the Gauss rule, its error set by the nearer of the
// chord's singularities and those of (h/a)^e; `extra_intervals` (1 for the derivatives in u,
// whose integrands carry sin^2(theta)) are added to its count.
template <class Line>
auto over_lines(double u, double a, Line&& line, std::size_t extra_intervals = 0) noexcept
    -> decltype(line(0.0, 0.0)) {
  using Value = decltype(line(0.0, 0.0));
  constexpr double half_pi = std::numbers::pi / 2;
  const double scale = 2 / (std::numbers::pi * a);
  Value integral{};
  const std::size_t periodic =
      u < gauss_inside_ratio * a
          ? periodic_lines::intervals(u, a, a <= 3 ? 24 : 32, periodic_lines::PowerOfH::singular)
          : 0;
  if (periodic != 0) {
    const double inside = (a - u) * (a + u);
    integral = periodic_lines::integral(periodic + extra_intervals, [&](LineAngle angle) {
      const double along = u * angle.cosine;
      return line(along, std::sqrt(inside + along * along));
    });
  } else if (u <= gauss_inside_ratio * a) {
    // Well inside, the nearest singularities of (h/a)^e, psi = +-i acosh(a/u), lie far enough
    // from [0, pi/2] for a Gauss-Legendre rule.
    const double inside = (a - u) * (a + u);
    const double half_range = half_pi * 0.5;
    const auto sum_over = [&](std::span<const numeric::GaussNode> rule, std::span<const LineAngle> angles) {
      Value sum{};
      for (std::size_t i = 0; i < rule.size(); ++i) {
        const double along = u * angles[i].sine;
        sum += rule[i].weight * line(along, std::sqrt(inside + along * along));
      }
      return sum;
    };
    integral =
        half_range *
        (a <= 3 ? sum_over(numeric::gauss_legendre_24, quarter_circle_angles<numeric::gauss_legendre_24>())
                : sum_over(numeric::gauss_legendre_32, quarter_circle_angles<numeric::gauss_legendre_32>()));
  } else {
    // Just inside, (h/a)^e = ((c^2 + u^2 sin^2 psi)/a^2)^(e/2), c^2 = a^2 - u^2, has its branch
    // points at psi = +-i sigma, sigma = asinh(c/u), close to the end psi = 0. Panels graded
    // from there, [0, sigma], then up to pi/2 each at most limb_panel_ratio times the last, keep
    // the Bernstein ratio of every panel at 3 or more (4.6 on the first, 3 on [x, 4x] with
    // sigma <= x), so that 16 points reach 3^-32 = 5e-16 of the panel. Measured
    // against the double-exponential rule at every level: 1e-15 relative at 800 separations
    // from 0.9 a to a (1 - 1e-16), p = 0.05 to 2.7 and the log term, a = 0.001 to 10. Below
    // limb_sigma_floor the first panel holds (sigma_floor)^(e+1) < 1e-16 of the integral for
    // e > 1 and needs no finer grading: at most 15 panels. (A sigma that small means u = a
    // exactly, since a - u >= a epsilon/2 otherwise makes c >= 1.5e-8 a.)
    const double inside = (a - u) * (a + u);
    const auto at = [&](double psi) {
      const double along = u * std::sin(psi);
      return line(along, std::sqrt(inside + along * along));
    };
    const double sigma = std::min(std::max(std::asinh(std::sqrt(inside) / u), limb_sigma_floor), half_pi);
    // Not too near the limb, psi = sigma sinh(tau) instead: the branch points move to
    // tau = +-i pi/2 whatever sigma, and the integrand, even in psi and so in tau, takes one
    // Gauss-Legendre rule over [-T, T], T = asinh(pi / (2 sigma)), at half its nodes. Its Bernstein
    // ratio pi/(2T) + sqrt(1 + (pi/(2T))^2) is 1.78 or more for T <= 2.62 (32 points, 1.78^-64 =
    // 1e-16) and 1.59 for T <= 3.4 (40 points, u up to 0.9945 a). Checked against the panels for
    // a = 1e-4 to 10, u from 0.9 a to a (1 - 1e-9), p = 0.05 to 2.7 and the log term, values and
    // derivatives: within 2e-15 of the magnification and 8e-15 of the derivatives' scale.
    const double stretch = std::asinh(half_pi / sigma);
    if (stretch <= sinh_map_longest) {
      const std::span<const numeric::GaussNode> rule =
          stretch <= sinh_map_short ? std::span<const numeric::GaussNode>(numeric::gauss_legendre_32)
                                    : numeric::gauss_legendre_40;
      Value sum{};
      for (const numeric::GaussNode& node : rule) {
        if (node.abscissa <= 0) continue;
        const double tau = stretch * node.abscissa;
        const double grow = std::exp(tau);
        const double shrink = 1 / grow;
        sum += (node.weight * (sigma * 0.5 * (grow + shrink))) * at(sigma * 0.5 * (grow - shrink));
      }
      return scale * (stretch * sum);
    }
    const auto panel = [&](double from, double to) {
      const double half_range = (to - from) * 0.5;
      const double middle = from + half_range;
      Value sum{};
      for (const numeric::GaussNode& node : numeric::gauss_legendre_16)
        sum += node.weight * at(middle + half_range * node.abscissa);
      return half_range * sum;
    };
    integral = panel(0, sigma);
    graded_panels(sigma, half_pi, [&](double from, double to) { integral += panel(from, to); });
  }
  return scale * integral;
}

// The lens just outside (a < u < gauss_outside_ratio a), in t = (u/a) sin(theta) as beyond,
// where (h/a)^e = (1 - t^2)^(e/2) and dtheta = (a/m) dt: 1/m, m = sqrt(u^2 - a^2 t^2), has its
// branch point at t = u/a, delta = u/a - 1 past the end t = 1. In y = 1 - t, panels graded from
// the end: [0, epsilon], epsilon = 2 delta, by the one-sided Gauss-Jacobi rule `limb_rule` of
// (1 - x)^(e/2), y = epsilon (1 - x)/2, whose Bernstein ratio for the branch point, at x = 2, is
// 3.7; then up to y = 1 each at most limb_panel_ratio times the last by Gauss-Legendre, ratio 3 or
// more as inside, and 16 points throughout. Below limb_epsilon_floor the first panel holds about
// epsilon^((e+1)/2) < 1e-16 of the integral for e > 1: at most 27 panels. line(y) is the
// integrand in t at t = 1 - y without its factor (1 - t^2)^(e/2); the result is (2 / (pi a)) times
// the integral.
template <class Line>
auto just_outside(double u, double a, double e, std::span<const numeric::GaussNode> limb_rule,
                  Line&& line) noexcept -> decltype(line(0.0)) {
  using Value = decltype(line(0.0));
  const double exponent = e * 0.5;
  const double beyond = u - a;
  const double epsilon = std::min(std::max(2 * (beyond / a), limb_epsilon_floor), 1.0);
  const double half_first = epsilon * 0.5;
  Value first{};
  for (const numeric::GaussNode& node : limb_rule) {
    const double y = half_first * (1 - node.abscissa);
    first += node.weight * (std::pow(2 - y, exponent) * line(y));
  }
  Value integral = std::pow(half_first, exponent) * half_first * first;
  graded_panels(epsilon, 1, [&](double from, double to) {
    const double half_range = (to - from) * 0.5;
    const double middle = from + half_range;
    Value sum{};
    for (const numeric::GaussNode& node : numeric::gauss_legendre_16) {
      const double y = middle + half_range * node.abscissa;
      sum += node.weight * (std::pow(y * (2 - y), exponent) * line(y));
    }
    integral += half_range * sum;
  });
  return (2 / (std::numbers::pi * a)) * integral;
}

// The sum over a rule symmetric about 0 of weight * line(abscissa) for a line even in its
// argument: each pair of nodes +-x is one line, taken once at x with twice the weight.
template <class Line>
auto even_sum(std::span<const numeric::GaussNode> rule, Line&& line) noexcept -> decltype(line(0.0)) {
  using Value = decltype(line(0.0));
  Value sum{};
  for (const numeric::GaussNode& node : rule) {
    if (node.abscissa < 0) continue;
    sum += (node.abscissa > 0 ? 2 * node.weight : node.weight) * line(node.abscissa);
  }
  return sum;
}

// The lens well outside (u >= gauss_outside_ratio a): theta = asin((a/u) t), h = a sqrt(1 - t^2),
// dtheta = (a/m) dt, m = u cos(theta). line(t) is the integrand in t without its factor
// (1 - t^2)^(e/2), which `rule` (symmetric, of that weight) carries; the integrand is even in t,
// so the full rule gives twice the integral over [0, 1]. The result is (2 / (pi a)) times the
// integral.
template <class Line>
auto well_outside(double a, std::span<const numeric::GaussNode> rule, Line&& line) noexcept
    -> decltype(line(0.0)) {
  return (2 / (std::numbers::pi * a)) * (even_sum(rule, line) * 0.5);
}

}  // namespace obrivane::models::power_lines
