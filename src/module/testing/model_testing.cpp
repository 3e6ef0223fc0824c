// Test-only access to the uniform-disk kernels.
//
//   uniform_disk_magnification_at_u(u, rho) -> float: the kernel at separation u in Einstein
//       radii, with rho^2 = rho*rho.
//   uniform_disk_magnification_accurate(u, rho) -> float: the cancellation-free evaluation used
//       by the profile models.
//   uniform_disk_magnification_fast(u, rho) -> float: the two-integral Bulirsch form with the
//       mean-value series clear of the lens.
//   uniform_disk_fast_batch(u, rho) -> list, uniform_disk_carlson_batch(u, rho) -> list: that
//       form, and the Carlson form it replaced in the profile models, for every element of u,
//       on the worker pool (for the benchmarks: the conversions are those of the public calls).
//   legendre_integrals(n, m) -> [E(m), K(m), Pi(n, m)]: the three complete integrals of the general
//       uniform-disk evaluation, NaN in place of a message.
#include <Python.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "models/uniform_disk.hpp"
#include "models/uniform_disk_fast.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "numeric/legendre/ellipe.hpp"
#include "numeric/legendre/ellipk.hpp"
#include "numeric/legendre/ellippi.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/parallel_map.hpp"

namespace {

namespace models = obrivane::models;
namespace module = obrivane::module;
namespace parallel = obrivane::parallel;

double uniform_disk_at_u_for_python(double u, double rho) {
  const double rho_squared = rho * rho;
  return models::uniform_disk_magnification_at_u(u, rho, rho_squared);
}

double uniform_disk_accurate_for_python(double u, double rho) {
  return models::uniform_disk_magnification_accurate(u, rho);
}

double uniform_disk_fast_for_python(double u, double rho) {
  return models::uniform_disk_magnification_fast(u, rho);
}

std::vector<double> uniform_disk_fast_batch(std::vector<double> u, double rho) {
  std::vector<double> result(u.size());
  parallel::parallel_for(
      u.size(), [&](std::size_t i) { result[i] = models::uniform_disk_magnification_fast(u[i], rho); });
  return result;
}

std::vector<double> uniform_disk_carlson_batch(std::vector<double> u, double rho) {
  std::vector<double> result(u.size());
  parallel::parallel_for(
      u.size(), [&](std::size_t i) { result[i] = models::uniform_disk_magnification_carlson(u[i], rho); });
  return result;
}

std::vector<double> legendre_integrals(double n, double m) {
  const auto value_or_nan = [](obrivane::numeric::EllipticResult result) {
    return result.ok() ? result.value() : std::numeric_limits<double>::quiet_NaN();
  };
  return {value_or_nan(obrivane::numeric::ellipe(m)), value_or_nan(obrivane::numeric::ellipk(m)),
          value_or_nan(obrivane::numeric::ellippi(n, m))};
}

PyObject* uniform_disk_at_u_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "rho"};
  static constexpr module::FunctionDescription description{"uniform_disk_magnification_at_u", parameters};
  return module::call_entry<&uniform_disk_at_u_for_python>(description, args, nargs, kwnames);
}

PyObject* uniform_disk_accurate_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "rho"};
  static constexpr module::FunctionDescription description{"uniform_disk_magnification_accurate", parameters};
  return module::call_entry<&uniform_disk_accurate_for_python>(description, args, nargs, kwnames);
}

PyObject* uniform_disk_fast_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "rho"};
  static constexpr module::FunctionDescription description{"uniform_disk_magnification_fast", parameters};
  return module::call_entry<&uniform_disk_fast_for_python>(description, args, nargs, kwnames);
}

PyObject* uniform_disk_fast_batch_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "rho"};
  static constexpr module::FunctionDescription description{"uniform_disk_fast_batch", parameters};
  return module::call_entry<&uniform_disk_fast_batch>(description, args, nargs, kwnames);
}

PyObject* uniform_disk_carlson_batch_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "rho"};
  static constexpr module::FunctionDescription description{"uniform_disk_carlson_batch", parameters};
  return module::call_entry<&uniform_disk_carlson_batch>(description, args, nargs, kwnames);
}

PyObject* legendre_integrals_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"n", "m"};
  static constexpr module::FunctionDescription description{"legendre_integrals", parameters};
  return module::call_entry<&legendre_integrals>(description, args, nargs, kwnames);
}

}  // namespace

PyMethodDef model_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(uniform_disk_magnification_at_u, uniform_disk_at_u_entry,
                             "uniform_disk_magnification_at_u(u, rho)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_disk_magnification_accurate, uniform_disk_accurate_entry,
                             "uniform_disk_magnification_accurate(u, rho)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_disk_magnification_fast, uniform_disk_fast_entry,
                             "uniform_disk_magnification_fast(u, rho)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_disk_fast_batch, uniform_disk_fast_batch_entry,
                             "uniform_disk_fast_batch(u, rho)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_disk_carlson_batch, uniform_disk_carlson_batch_entry,
                             "uniform_disk_carlson_batch(u, rho)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(legendre_integrals, legendre_integrals_entry,
                             "legendre_integrals(n, m)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
