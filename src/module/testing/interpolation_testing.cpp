// Test-only access to the linear interpolation, one function per out-of-range rule:
//
//   interp_linear(x, y, xp), interp_clamp(x, y, xp), interp_fill(x, y, xp, fill) -> float
//       one evaluation of the per-call form;
//   interp_table_linear(x, y, xps), interp_table_clamp(x, y, xps),
//   interp_table_fill(x, y, xps, fill) -> list
//       every point of xps against one InterpolationTable built from x and y.
#include <Python.h>

#include <vector>

#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "numeric/interp.hpp"

namespace {

using obrivane::numeric::InterpolationTable;
using obrivane::numeric::OutOfRangeMode;

double interp_linear(std::vector<double> x, std::vector<double> y, double xp) {
  return obrivane::numeric::interp(x, y, xp, OutOfRangeMode::Linear());
}

double interp_clamp(std::vector<double> x, std::vector<double> y, double xp) {
  return obrivane::numeric::interp(x, y, xp, OutOfRangeMode::Clamp());
}

double interp_fill(std::vector<double> x, std::vector<double> y, double xp, double fill) {
  return obrivane::numeric::interp(x, y, xp, OutOfRangeMode::Fill(fill));
}

std::vector<double> evaluate_table(const std::vector<double>& x, const std::vector<double>& y,
                                   const std::vector<double>& points, const OutOfRangeMode& mode) {
  const InterpolationTable table(x, y);
  std::vector<double> values;
  values.reserve(points.size());
  for (const double xp : points) values.push_back(table(xp, mode));
  return values;
}

std::vector<double> interp_table_linear(std::vector<double> x, std::vector<double> y,
                                        std::vector<double> xps) {
  return evaluate_table(x, y, xps, OutOfRangeMode::Linear());
}

std::vector<double> interp_table_clamp(std::vector<double> x, std::vector<double> y,
                                       std::vector<double> xps) {
  return evaluate_table(x, y, xps, OutOfRangeMode::Clamp());
}

std::vector<double> interp_table_fill(std::vector<double> x, std::vector<double> y, std::vector<double> xps,
                                      double fill) {
  return evaluate_table(x, y, xps, OutOfRangeMode::Fill(fill));
}

using obrivane::module::call_entry;
using obrivane::module::FunctionDescription;

constexpr const char* point_parameters[] = {"x", "y", "xp"};
constexpr const char* point_fill_parameters[] = {"x", "y", "xp", "fill"};
constexpr const char* table_parameters[] = {"x", "y", "xps"};
constexpr const char* table_fill_parameters[] = {"x", "y", "xps", "fill"};

PyObject* interp_linear_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"interp_linear", point_parameters};
  return call_entry<&interp_linear>(description, args, nargs, kwnames);
}

PyObject* interp_clamp_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"interp_clamp", point_parameters};
  return call_entry<&interp_clamp>(description, args, nargs, kwnames);
}

PyObject* interp_fill_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"interp_fill", point_fill_parameters};
  return call_entry<&interp_fill>(description, args, nargs, kwnames);
}

PyObject* interp_table_linear_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"interp_table_linear", table_parameters};
  return call_entry<&interp_table_linear>(description, args, nargs, kwnames);
}

PyObject* interp_table_clamp_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"interp_table_clamp", table_parameters};
  return call_entry<&interp_table_clamp>(description, args, nargs, kwnames);
}

PyObject* interp_table_fill_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"interp_table_fill", table_fill_parameters};
  return call_entry<&interp_table_fill>(description, args, nargs, kwnames);
}

}  // namespace

PyMethodDef interpolation_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(interp_linear, interp_linear_entry, "interp_linear(x, y, xp)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(interp_clamp, interp_clamp_entry, "interp_clamp(x, y, xp)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(interp_fill, interp_fill_entry, "interp_fill(x, y, xp, fill)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(interp_table_linear, interp_table_linear_entry,
                             "interp_table_linear(x, y, xps)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(interp_table_clamp, interp_table_clamp_entry,
                             "interp_table_clamp(x, y, xps)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(interp_table_fill, interp_table_fill_entry,
                             "interp_table_fill(x, y, xps, fill)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
