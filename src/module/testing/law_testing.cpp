// Test-only access to the limb-darkening laws of models/brightness_laws.hpp.
//
//   point_source_magnification(u) -> float
//   uniform_law_magnification(u, rho), linear_law_magnification(u, rho, u1),
//   quadratic_law_magnification(u, rho, a, b), square_root_law_magnification(u, rho, c, d),
//   logarithmic_law_magnification(u, rho, e, f), power2_law_magnification(u, rho, c, alpha)
//       -> float: one magnification (the power-2 law with a fresh cache of its moments).
//   linear_law_flux(u1), quadratic_law_flux(a, b), square_root_law_flux(c, d),
//   logarithmic_law_flux(e, f), power2_law_flux(c, alpha) -> float
//   law_magnifications(law, u, rho, first, second) -> list: the law numbered `law` (0 uniform,
//       1 linear, 2 quadratic, 3 square-root, 4 logarithmic, 5 power-2) with the coefficients
//       (first, second) at every separation of u, in one thread, one power-2 cache for the call.
//   law_gradient(law, u, rho, first, second) -> list: [A, dA/du, dA/drho, dA/dfirst, dA/dsecond]
//       for the law numbered as above (models/law_gradients.hpp; the power-2 law with a fresh
//       cache), the derivatives in coefficients the law lacks 0.
//   law_gradients(law, u, rho, first, second) -> list: law_gradient at every separation of u, in
//       one thread, one power-2 cache for the call, flattened (five numbers per separation).
//   point_source_gradient(u) -> list: [A, dA/du].
//   uniform_disk_gradient(u, rho) -> list: [A, dA/du, dA/drho] (models/uniform_disk_gradient.hpp).
//   power2_with_shared_rules(u, rho, c, alphas) -> list: the power-2 law for each exponent of
//       alphas in turn, all through one cache.
//   power_weighted_disk_integral(u, a, p) -> float: the integral of mu^p A over the
//       disk by lines through the lens, over pi a^2.
//   mu_weighted_disk_gradient(u, a) -> [magnification, d/du, d/da]: the mu-weighted disk with its
//       derivatives, by lines through the lens.
//   integrate_line_to_the_ends(c0, c1, a, b, target) -> [integral, evaluations]: the integral of
//       c0 + c1 y over [a, b] by numeric::integrate_to_the_ends.
//   gauss_jacobi_symmetric_rule(beta, n) -> list: the n-point Gauss rule of (1 - s^2)^beta on
//       [-1, 1] (n <= 80), as [abscissa 0, weight 0, abscissa 1, ...].
//   gauss_jacobi_one_sided_rule(alpha, n) -> list: the same for (1 - x)^alpha.
#include <Python.h>

#include <array>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "models/brightness_laws.hpp"
#include "models/law_gradients.hpp"
#include "models/mu_weighted_disk_gradient.hpp"
#include "models/power_logarithm_weighted_disk.hpp"
#include "models/power_weighted_disk.hpp"
#include "models/uniform_disk_gradient.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "numeric/digamma.hpp"
#include "numeric/gauss_jacobi_exponent_slopes.hpp"
#include "numeric/gauss_jacobi_one_sided.hpp"
#include "numeric/gauss_jacobi_symmetric.hpp"
#include "numeric/integrate.hpp"

namespace {

namespace models = obrivane::models;
using obrivane::module::call_entry;
using obrivane::module::FunctionDescription;

double power2_for_python(double u, double rho, double c, double alpha) {
  models::PowerLawRules rules;
  return models::power2_law_magnification(u, rho, c, alpha, rules);
}

std::vector<double> law_magnifications(double law, std::vector<double> u, double rho, double first,
                                       double second) {
  models::PowerLawRules rules;
  std::vector<double> result(u.size(), std::numeric_limits<double>::quiet_NaN());
  for (std::size_t i = 0; i < u.size(); ++i) {
    const double x = u[i];
    if (law == 0) result[i] = models::uniform_law_magnification(x, rho);
    if (law == 1) result[i] = models::linear_law_magnification(x, rho, first);
    if (law == 2) result[i] = models::quadratic_law_magnification(x, rho, first, second);
    if (law == 3) result[i] = models::square_root_law_magnification(x, rho, first, second);
    if (law == 4) result[i] = models::logarithmic_law_magnification(x, rho, first, second);
    if (law == 5) result[i] = models::power2_law_magnification(x, rho, first, second, rules);
  }
  return result;
}

std::vector<double> law_gradient(double law, double u, double rho, double first, double second) {
  models::PowerLawRules rules;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  models::LawGradient g{nan, nan, nan, {nan, nan}};
  if (law == 0) g = models::uniform_law_gradient(u, rho);
  if (law == 1) g = models::linear_law_gradient(u, rho, first);
  if (law == 2) g = models::quadratic_law_gradient(u, rho, first, second);
  if (law == 3) g = models::square_root_law_gradient(u, rho, first, second);
  if (law == 4) g = models::logarithmic_law_gradient(u, rho, first, second);
  if (law == 5) g = models::power2_law_gradient(u, rho, first, second, rules);
  return {g.magnification, g.d_u, g.d_rho, g.d_coefficients[0], g.d_coefficients[1]};
}

std::vector<double> law_gradients(double law, std::vector<double> u, double rho, double first,
                                  double second) {
  models::PowerLawRules rules;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> result;
  result.reserve(5 * u.size());
  for (const double x : u) {
    models::LawGradient g{nan, nan, nan, {nan, nan}};
    if (law == 0) g = models::uniform_law_gradient(x, rho);
    if (law == 1) g = models::linear_law_gradient(x, rho, first);
    if (law == 2) g = models::quadratic_law_gradient(x, rho, first, second);
    if (law == 3) g = models::square_root_law_gradient(x, rho, first, second);
    if (law == 4) g = models::logarithmic_law_gradient(x, rho, first, second);
    if (law == 5) g = models::power2_law_gradient(x, rho, first, second, rules);
    result.insert(result.end(), {g.magnification, g.d_u, g.d_rho, g.d_coefficients[0], g.d_coefficients[1]});
  }
  return result;
}

std::vector<double> point_source_gradient(double u) {
  const models::PointSourceGradient g = models::point_source_gradient(u);
  return {g.magnification, g.d_u};
}

std::vector<double> uniform_disk_gradient(double u, double rho) {
  const models::UniformDiskGradient g = models::uniform_disk_gradient(u, rho);
  return {g.magnification, g.d_u, g.d_rho};
}

std::vector<double> power2_with_shared_rules(double u, double rho, double c, std::vector<double> alphas) {
  models::PowerLawRules rules;
  std::vector<double> result;
  result.reserve(alphas.size());
  for (const double alpha : alphas)
    result.push_back(models::power2_law_magnification(u, rho, c, alpha, rules));
  return result;
}

double power_weighted_for_python(double u, double a, double p) {
  const models::PowerChordRules rules(p);
  return models::power_weighted_disk_integral(u, a, p, rules);
}

std::vector<double> mu_weighted_gradient(double u, double a) {
  const models::DiskGradient gradient = models::mu_weighted_disk_gradient(u, a);
  return {gradient.magnification, gradient.d_u, gradient.d_radius};
}

std::vector<double> integrate_line(double c0, double c1, double a, double b, double target) {
  const obrivane::numeric::IntegrationResult result =
      obrivane::numeric::integrate_to_the_ends([c0, c1](double y) { return c0 + c1 * y; }, a, b, target);
  return {result.integral, static_cast<double>(result.evaluations)};
}

// The n-point rule (1 <= n <= 80, else none) that `make` writes into its nodes, flattened as
// [x0, w0, x1, w1, ...].
template <class Make>
std::vector<double> flattened_rule(double n, Make&& make) {
  std::array<obrivane::numeric::GaussNode, 80> nodes{};
  std::array<double, 80> d{}, e{}, z{};
  const std::size_t size = n >= 1 && n <= 80 ? static_cast<std::size_t>(n) : 0;
  make(std::span<obrivane::numeric::GaussNode>(nodes).first(size), d, e, z);
  std::vector<double> flat;
  for (std::size_t i = 0; i < size; ++i) {
    flat.push_back(nodes[i].abscissa);
    flat.push_back(nodes[i].weight);
  }
  return flat;
}

std::vector<double> gauss_jacobi_rule(double beta, double n) {
  return flattened_rule(n, [beta](auto nodes, auto& d, auto& e, auto& z) {
    obrivane::numeric::gauss_jacobi_symmetric(beta, nodes, d, e, z);
  });
}

std::vector<double> gauss_jacobi_one_sided_rule(double alpha, double n) {
  return flattened_rule(n, [alpha](auto nodes, auto& d, auto& e, auto& z) {
    obrivane::numeric::gauss_jacobi_one_sided(alpha, nodes, d, e, z);
  });
}

// The rule with its slopes in the exponent, flattened as [x0, w0, dx0, dw0, x1, ...].
template <class Make, class Slopes>
std::vector<double> flattened_rule_slopes(double n, Make&& make, Slopes&& slopes) {
  std::array<obrivane::numeric::GaussNode, 80> nodes{};
  std::array<obrivane::numeric::GaussNodeSlope, 80> moves{};
  std::array<double, 80> d{}, e{}, z{};
  const std::size_t size = n >= 1 && n <= 80 ? static_cast<std::size_t>(n) : 0;
  const std::span<obrivane::numeric::GaussNode> rule =
      std::span<obrivane::numeric::GaussNode>(nodes).first(size);
  make(rule, d, e, z);
  slopes(std::span<const obrivane::numeric::GaussNode>(rule),
         std::span<obrivane::numeric::GaussNodeSlope>(moves).first(size));
  std::vector<double> flat;
  for (std::size_t i = 0; i < size; ++i) {
    flat.insert(flat.end(), {nodes[i].abscissa, nodes[i].weight, moves[i].abscissa, moves[i].weight});
  }
  return flat;
}

std::vector<double> gauss_jacobi_slopes(double beta, double n) {
  return flattened_rule_slopes(
      n,
      [beta](auto nodes, auto& d, auto& e, auto& z) {
        obrivane::numeric::gauss_jacobi_symmetric(beta, nodes, d, e, z);
      },
      [beta](auto rule, auto moves) { obrivane::numeric::gauss_jacobi_symmetric_slopes(beta, rule, moves); });
}

std::vector<double> gauss_jacobi_one_sided_slopes(double alpha, double n) {
  return flattened_rule_slopes(
      n,
      [alpha](auto nodes, auto& d, auto& e, auto& z) {
        obrivane::numeric::gauss_jacobi_one_sided(alpha, nodes, d, e, z);
      },
      [alpha](auto rule, auto moves) {
        obrivane::numeric::gauss_jacobi_one_sided_slopes(alpha, rule, moves);
      });
}

double digamma(double x) { return obrivane::numeric::digamma(x); }

std::vector<double> power_logarithm_weighted(double u, double a, double p) {
  const models::PowerChordRules rules(p);
  const models::PowerChordSlopes slopes(p, rules);
  const models::PowerAndLogarithm both =
      models::power_logarithm_weighted_disk_integral(u, a, p, rules, slopes);
  return {both.power, both.logarithm};
}

#define OBRIVANE_LAW_ENTRY(entry, function, name, ...)                                     \
  PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
    static constexpr const char* parameters[] = {__VA_ARGS__};                             \
    static constexpr FunctionDescription description{name, parameters};                    \
    return call_entry<&function>(description, args, nargs, kwnames);                       \
  }

OBRIVANE_LAW_ENTRY(point_source_entry, models::point_source_magnification, "point_source_magnification", "u")
OBRIVANE_LAW_ENTRY(uniform_entry, models::uniform_law_magnification, "uniform_law_magnification", "u", "rho")
OBRIVANE_LAW_ENTRY(linear_entry, models::linear_law_magnification, "linear_law_magnification", "u", "rho",
                   "u1")
OBRIVANE_LAW_ENTRY(quadratic_entry, models::quadratic_law_magnification, "quadratic_law_magnification", "u",
                   "rho", "a", "b")
OBRIVANE_LAW_ENTRY(square_root_entry, models::square_root_law_magnification, "square_root_law_magnification",
                   "u", "rho", "c", "d")
OBRIVANE_LAW_ENTRY(logarithmic_entry, models::logarithmic_law_magnification, "logarithmic_law_magnification",
                   "u", "rho", "e", "f")
OBRIVANE_LAW_ENTRY(power2_entry, power2_for_python, "power2_law_magnification", "u", "rho", "c", "alpha")
OBRIVANE_LAW_ENTRY(linear_flux_entry, models::linear_law_flux, "linear_law_flux", "u1")
OBRIVANE_LAW_ENTRY(quadratic_flux_entry, models::quadratic_law_flux, "quadratic_law_flux", "a", "b")
OBRIVANE_LAW_ENTRY(square_root_flux_entry, models::square_root_law_flux, "square_root_law_flux", "c", "d")
OBRIVANE_LAW_ENTRY(logarithmic_flux_entry, models::logarithmic_law_flux, "logarithmic_law_flux", "e", "f")
OBRIVANE_LAW_ENTRY(power2_flux_entry, models::power2_law_flux, "power2_law_flux", "c", "alpha")
OBRIVANE_LAW_ENTRY(law_magnifications_entry, law_magnifications, "law_magnifications", "law", "u", "rho",
                   "first", "second")
OBRIVANE_LAW_ENTRY(law_gradient_entry, law_gradient, "law_gradient", "law", "u", "rho", "first", "second")
OBRIVANE_LAW_ENTRY(law_gradients_entry, law_gradients, "law_gradients", "law", "u", "rho", "first", "second")
OBRIVANE_LAW_ENTRY(point_source_gradient_entry, point_source_gradient, "point_source_gradient", "u")
OBRIVANE_LAW_ENTRY(uniform_disk_gradient_entry, uniform_disk_gradient, "uniform_disk_gradient", "u", "rho")
OBRIVANE_LAW_ENTRY(power2_shared_entry, power2_with_shared_rules, "power2_with_shared_rules", "u", "rho", "c",
                   "alphas")
OBRIVANE_LAW_ENTRY(power_weighted_entry, power_weighted_for_python, "power_weighted_disk_integral", "u", "a",
                   "p")
OBRIVANE_LAW_ENTRY(mu_weighted_gradient_entry, mu_weighted_gradient, "mu_weighted_disk_gradient", "u", "a")
OBRIVANE_LAW_ENTRY(integrate_line_entry, integrate_line, "integrate_line_to_the_ends", "c0", "c1", "a", "b",
                   "target")
OBRIVANE_LAW_ENTRY(gauss_jacobi_entry, gauss_jacobi_rule, "gauss_jacobi_symmetric_rule", "beta", "n")
OBRIVANE_LAW_ENTRY(gauss_jacobi_one_sided_entry, gauss_jacobi_one_sided_rule, "gauss_jacobi_one_sided_rule",
                   "alpha", "n")
OBRIVANE_LAW_ENTRY(gauss_jacobi_slopes_entry, gauss_jacobi_slopes, "gauss_jacobi_symmetric_slopes", "beta",
                   "n")
OBRIVANE_LAW_ENTRY(gauss_jacobi_one_sided_slopes_entry, gauss_jacobi_one_sided_slopes,
                   "gauss_jacobi_one_sided_slopes", "alpha", "n")
OBRIVANE_LAW_ENTRY(digamma_entry, digamma, "digamma", "x")
OBRIVANE_LAW_ENTRY(power_logarithm_weighted_entry, power_logarithm_weighted,
                   "power_logarithm_weighted_disk_integral", "u", "a", "p")

#undef OBRIVANE_LAW_ENTRY

}  // namespace

PyMethodDef law_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(point_source_magnification, point_source_entry,
                             "point_source_magnification(u)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_law_magnification, uniform_entry,
                             "uniform_law_magnification(u, rho)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(linear_law_magnification, linear_entry,
                             "linear_law_magnification(u, rho, u1)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(quadratic_law_magnification, quadratic_entry,
                             "quadratic_law_magnification(u, rho, a, b)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(square_root_law_magnification, square_root_entry,
                             "square_root_law_magnification(u, rho, c, d)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(logarithmic_law_magnification, logarithmic_entry,
                             "logarithmic_law_magnification(u, rho, e, f)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(power2_law_magnification, power2_entry,
                             "power2_law_magnification(u, rho, c, alpha)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(linear_law_flux, linear_flux_entry, "linear_law_flux(u1)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(quadratic_law_flux, quadratic_flux_entry, "quadratic_law_flux(a, b)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(square_root_law_flux, square_root_flux_entry,
                             "square_root_law_flux(c, d)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(logarithmic_law_flux, logarithmic_flux_entry,
                             "logarithmic_law_flux(e, f)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(power2_law_flux, power2_flux_entry, "power2_law_flux(c, alpha)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(law_magnifications, law_magnifications_entry,
                             "law_magnifications(law, u, rho, first, second)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(law_gradient, law_gradient_entry,
                             "law_gradient(law, u, rho, first, second)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(law_gradients, law_gradients_entry,
                             "law_gradients(law, u, rho, first, second)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(point_source_gradient, point_source_gradient_entry,
                             "point_source_gradient(u)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_disk_gradient, uniform_disk_gradient_entry,
                             "uniform_disk_gradient(u, rho)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(power2_with_shared_rules, power2_shared_entry,
                             "power2_with_shared_rules(u, rho, c, alphas)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(power_weighted_disk_integral, power_weighted_entry,
                             "power_weighted_disk_integral(u, a, p)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(mu_weighted_disk_gradient, mu_weighted_gradient_entry,
                             "mu_weighted_disk_gradient(u, a)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(integrate_line_to_the_ends, integrate_line_entry,
                             "integrate_line_to_the_ends(c0, c1, a, b, target)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(gauss_jacobi_symmetric_rule, gauss_jacobi_entry,
                             "gauss_jacobi_symmetric_rule(beta, n)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(gauss_jacobi_one_sided_rule, gauss_jacobi_one_sided_entry,
                             "gauss_jacobi_one_sided_rule(alpha, n)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(gauss_jacobi_symmetric_slopes, gauss_jacobi_slopes_entry,
                             "gauss_jacobi_symmetric_slopes(beta, n)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(gauss_jacobi_one_sided_slopes, gauss_jacobi_one_sided_slopes_entry,
                             "gauss_jacobi_one_sided_slopes(alpha, n)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(digamma, digamma_entry, "digamma(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(power_logarithm_weighted_disk_integral, power_logarithm_weighted_entry,
                             "power_logarithm_weighted_disk_integral(u, a, p)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
