// The magnified flux of the concentric disks of a source and its integral over the disk radius,
// for one separation. In source radii, with the lens at l from the centre of a source of radius
// rho (Einstein radii),
//   Phi(x) = pi x^2 A_disk(l rho, rho x),   Phi'(x) = 2 pi x A_ring(x),
// A_disk the uniform-disk magnification of the disk of radius x and A_ring that of its rim. A
// brightness I(x) linear on [a, b] then contributes, by parts,
//   int_a^b Phi' I dx = Phi(b) I(b) - Phi(a) I(a) - I' int_a^b Phi dx.
// Only the magnified part Phi - pi x^2 = pi x^2 (A_disk - 1) is formed here: the unmagnified part
// gives 2 pi int x I dx exactly, and leaving it out keeps the digits of A - 1 where the source is
// large and A - 1 small.
//
// Phi is analytic on [0, 1] except where the rim of the disk passes the lens, x = l: there the rim
// magnification has a logarithmic singularity and Phi = P(x) log|x - l| + Q(x) with P, Q analytic
// and P(x) = -(2/rho)(x - l) + O((x - l)^2) (near the lens A ~ 1/r and the rim is nearly straight:
// the flux of 1/r through a half-plane at distance e from the lens is -2 e log|e| plus a smooth
// part). Since Phi is even in x, the mirror point -l carries the mirrored term; taking both out
// keeps S continuous as l -> 0, where it vanishes with the singularity. With
//   S(x) = -(2/rho) [(x - l) log|(x - l)/l| - (x + l) log((x + l)/l)]
// taken out in closed form (the logarithms taken relative to l shift S only by a constant, and
// keep it small against Phi where its two terms nearly cancel), the rest Phi - S has
// singularities only of order (x - l)^2 log|x - l|, and in the variable s with x = l +- D s^3
// only of order s^6 log s, which a Chebyshev series of 32 terms resolves to near rounding on each
// side of l. The rim's elliptic integrals also branch off the axis, at x = l +- 2i/rho: a side
// much wider than 2/rho holds a feature of that width next to the lens ring, and takes 64 terms.
//
// Integrals over a narrow interval and changes of Phi across one are formed from divided
// differences of the series and of the closed forms, not as differences of two values: the
// steep slopes of narrow pieces and the close jumps of narrow rings weight them heavily. On an
// interval that reaches within its own width of the lens ring the series varies as s^3 and its
// divided differences lose the digits that the map gained; there the remainder (for changes of
// Phi, its derivative from the rim magnification) is integrated by Gauss-Legendre in the same
// cubic variable, taken from the lens ring to the far end.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace obrivane::models {

class DiskFluxIntegral {
 public:
  // For 0 <= l < 4 and 0 < rho, rho small and large enough that A_disk is representable. With
  // `changes`, the remainder Phi - S is fitted as well as its integral, for flux_change.
  DiskFluxIntegral(double l, double rho, bool changes = false) noexcept;

  // Phi(x) - pi x^2, 0 <= x <= 1.
  [[nodiscard]] double flux(double x) const noexcept;

  // flux(b) - flux(a) for 0 <= a <= b <= 1, given both values: from the series where a and b are
  // close (and the remainder was fitted), the difference of the values elsewhere.
  [[nodiscard]] double flux_change(double a, double b, double flux_a, double flux_b) const noexcept;

  // A radius prepared for integrals between radii.
  struct Radius {
    double x;
    double z;       // x - l
    double smooth;  // the integral of Phi - S from the reference radius of its side
  };
  [[nodiscard]] Radius radius(double x) const noexcept;

  // radius(x[i]) for every i, the same values, several at a time where neighbours share a side.
  void radii(std::span<const double> x, std::span<Radius> out) const noexcept;

  // int_a^b (Phi - pi x^2) dx for 0 <= a <= b <= 1, in a form that keeps its digits however
  // close a and b are.
  [[nodiscard]] double integral(const Radius& a, const Radius& b) const noexcept;

  // Psi(x[i]) for ascending x in [0, 1], with Psi' = Phi and Psi(l) = 0 on the side that holds
  // l (beyond the limb: Psi(1) = 0 up to the singular part). A sum of such values weighted by
  // changes of slope that sum to zero does not depend on the constant.
  void antiderivatives(std::span<const double> x, std::span<double> out) const noexcept;

  static constexpr std::size_t points = 32;
  static constexpr std::size_t wide_points = 64;

 private:
  struct Side {
    double width = 0;  // D
    double start = 0;  // the s at which the series starts (above 0 only beyond the lens ring)
    std::array<double, wide_points + 1> antiderivative{};
    std::size_t terms = points + 1;            // the coefficients above rounding
    std::array<double, wide_points> values{};  // the remainder itself, with `changes`
    std::size_t value_terms = 0;
  };

  [[nodiscard]] double remainder_weight(double z, double x) const noexcept;
  [[nodiscard]] Side fit_side(double sign, double width, double start, bool changes) const noexcept;
  template <std::size_t M>
  void fit_series(Side& side, double sign, bool changes) const noexcept;
  [[nodiscard]] static double side_integral(const Side& side, double z) noexcept;
  [[nodiscard]] static double side_point(const Side& side, double z) noexcept;
  [[nodiscard]] static double side_step(const Side& side, double near, double far, double h) noexcept;
  [[nodiscard]] static double side_increment(const Side& side, double near, double far, double h) noexcept;
  [[nodiscard]] static double side_value_change(const Side& side, double near, double far, double h) noexcept;
  [[nodiscard]] bool is_narrow(double a, double b, double h) const noexcept;
  [[nodiscard]] static bool is_at_ring(double a, double b, double h) noexcept;
  template <class F>
  [[nodiscard]] double ring_quadrature(double za, double zb, F&& f) const noexcept;
  [[nodiscard]] double singular_integral(double z1, double z2, double h) const noexcept;

  double l_;
  double rho_;
  double u_;
  double coefficient_;  // -2/rho
  double log_scale_;    // l, or 1 for l = 0 where S vanishes
  bool outward_ = false;
  bool inward_ = false;
  Side outer_;  // x = l + D s^3, toward the limb
  Side inner_;  // x = l - D s^3, toward the centre
};

}  // namespace obrivane::models
