// Test-only access to the profile-weighted magnification's parts.
//
//   _integrated_witt_mao_magnification(l, re, rstar, bl, bf, normalisation) -> list
//   _integrated_heyrovsky_magnification(l, re, rstar, bl, bf, normalisation) -> list
//       either family with the table (bl, bf) interpolated linearly as the profile (0 outside
//       the table) and the normalisation given explicitly rather than computed.
//   linear_limb_darkening(x) -> float        the built-in profile.
//   linear_limb_darkening_flux(target) -> float
//       integral_0^1 2 pi x I(x) dx of the built-in profile by the tanh-sinh rule with this target.
//   derivative_step(x) -> float              the central-difference step (|x| + 1) CBRT_EPS.
//   uniform_disk_magnification_far(u, a) -> float
//       the uniform-disk magnification by the mean-value series, for a disk far from the lens.
#include <Python.h>

#include <span>
#include <utility>
#include <vector>

#include "models/cbrt_eps.hpp"
#include "models/profile_weighted.hpp"
#include "models/source_profile.hpp"
#include "models/uniform_disk_far.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "numeric/integrate.hpp"
#include "numeric/interp.hpp"

namespace {

namespace models = obrivane::models;
namespace numeric = obrivane::numeric;
using obrivane::module::call_entry;
using obrivane::module::FunctionDescription;

template <auto Family>
models::ModelResult<std::vector<double>> with_table(std::vector<double> l, double re, double rstar,
                                                    std::vector<double> bl, std::vector<double> bf,
                                                    double normalisation) {
  const numeric::InterpolationTable table{std::span<const double>(bl), std::span<const double>(bf)};
  const models::SourceProfile profile = [&table](double x) { return table(x, numeric::fill_with_zero); };
  return Family(std::move(l), re, rstar, profile, normalisation);
}

double linear_limb_darkening_flux(double target) {
  return numeric::integrate(
             [](double x) { return (x * 6.283185307179586) * models::linear_limb_darkening(x); }, 0.0, 1.0,
             target)
      .integral;
}

PyObject* integrated_witt_mao_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"l", "re", "rstar", "bl", "bf", "normalisation"};
  static constexpr FunctionDescription description{"_integrated_witt_mao_magnification", parameters};
  return call_entry<&with_table<&models::_integrated_witt_mao_magnification>>(description, args, nargs,
                                                                              kwnames);
}

PyObject* integrated_heyrovsky_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"l", "re", "rstar", "bl", "bf", "normalisation"};
  static constexpr FunctionDescription description{"_integrated_heyrovsky_magnification", parameters};
  return call_entry<&with_table<&models::_integrated_heyrovsky_magnification>>(description, args, nargs,
                                                                               kwnames);
}

PyObject* linear_limb_darkening_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"x"};
  static constexpr FunctionDescription description{"linear_limb_darkening", parameters};
  return call_entry<&models::linear_limb_darkening>(description, args, nargs, kwnames);
}

PyObject* linear_limb_darkening_flux_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) {
  static constexpr const char* parameters[] = {"target"};
  static constexpr FunctionDescription description{"linear_limb_darkening_flux", parameters};
  return call_entry<&linear_limb_darkening_flux>(description, args, nargs, kwnames);
}

PyObject* derivative_step_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"x"};
  static constexpr FunctionDescription description{"derivative_step", parameters};
  return call_entry<&models::derivative_step>(description, args, nargs, kwnames);
}

PyObject* uniform_disk_far_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "a"};
  static constexpr FunctionDescription description{"uniform_disk_magnification_far", parameters};
  return call_entry<&models::uniform_disk_magnification_far>(description, args, nargs, kwnames);
}

}  // namespace

PyMethodDef profile_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(
        _integrated_witt_mao_magnification, integrated_witt_mao_entry,
        "_integrated_witt_mao_magnification(l, re, rstar, bl, bf, normalisation)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(
        _integrated_heyrovsky_magnification, integrated_heyrovsky_entry,
        "_integrated_heyrovsky_magnification(l, re, rstar, bl, bf, normalisation)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(linear_limb_darkening, linear_limb_darkening_entry,
                             "linear_limb_darkening(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(linear_limb_darkening_flux, linear_limb_darkening_flux_entry,
                             "linear_limb_darkening_flux(target)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(derivative_step, derivative_step_entry, "derivative_step(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_disk_magnification_far, uniform_disk_far_entry,
                             "uniform_disk_magnification_far(u, a)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
