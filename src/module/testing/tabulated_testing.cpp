// Test-only access to the parts of the tabulated-profile magnification.
//
//   tabulated_flux_moment(bl, bf) -> float
//       int_0^1 x I(x) dx of the interpolated table (0 outside its radii).
//   tabulated_mean_value_weights(bl, bf) -> list
//       (k + 1) c_k for k = 1 ... 12, c_k = int_0^1 x^(2k+1) I dx / int_0^1 x I dx.
//   tabulated_near_magnification(l, rho, bl, bf) -> float
//       the by-parts evaluation, for any 0 <= l < 4 (the functions switch to the series at 4).
//   weighted_disk_magnification_far(u, a, weights) -> float
//       the mean-value series of a profile with these weights (12 of them).
#include <Python.h>

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "models/disk_mean_value_series.hpp"
#include "models/tabulated_interpolant.hpp"
#include "models/tabulated_profile.hpp"
#include "models/uniform_disk_far.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"

namespace {

namespace models = obrivane::models;
using obrivane::module::call_entry;
using obrivane::module::FunctionDescription;

models::TabulatedInterpolant interpolant(const std::vector<double>& bl, const std::vector<double>& bf) {
  return models::TabulatedInterpolant{std::span<const double>(bl), std::span<const double>(bf)};
}

double flux_moment(std::vector<double> bl, std::vector<double> bf) {
  return interpolant(bl, bf).flux_moment();
}

std::vector<double> mean_value_weights(std::vector<double> bl, std::vector<double> bf) {
  const auto weights = interpolant(bl, bf).mean_value_weights();
  return {weights.begin(), weights.end()};
}

double near_magnification(double l, double rho, std::vector<double> bl, std::vector<double> bf) {
  return models::tabulated_near_magnification(interpolant(bl, bf), l, rho);
}

double weighted_far(double u, double a, std::vector<double> weights) {
  std::array<double, models::disk_mean_value_terms> fixed{};
  std::copy_n(weights.begin(), std::min(weights.size(), fixed.size()), fixed.begin());
  return models::weighted_disk_magnification_far(u, a, fixed);
}

PyObject* flux_moment_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"bl", "bf"};
  static constexpr FunctionDescription description{"tabulated_flux_moment", parameters};
  return call_entry<&flux_moment>(description, args, nargs, kwnames);
}

PyObject* weights_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"bl", "bf"};
  static constexpr FunctionDescription description{"tabulated_mean_value_weights", parameters};
  return call_entry<&mean_value_weights>(description, args, nargs, kwnames);
}

PyObject* near_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"l", "rho", "bl", "bf"};
  static constexpr FunctionDescription description{"tabulated_near_magnification", parameters};
  return call_entry<&near_magnification>(description, args, nargs, kwnames);
}

PyObject* weighted_far_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "a", "weights"};
  static constexpr FunctionDescription description{"weighted_disk_magnification_far", parameters};
  return call_entry<&weighted_far>(description, args, nargs, kwnames);
}

}  // namespace

PyMethodDef tabulated_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(tabulated_flux_moment, flux_moment_entry,
                             "tabulated_flux_moment(bl, bf)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(tabulated_mean_value_weights, weights_entry,
                             "tabulated_mean_value_weights(bl, bf)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(tabulated_near_magnification, near_entry,
                             "tabulated_near_magnification(l, rho, bl, bf)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(weighted_disk_magnification_far, weighted_far_entry,
                             "weighted_disk_magnification_far(u, a, weights)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
