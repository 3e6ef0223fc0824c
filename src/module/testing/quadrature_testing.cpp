// Test-only access to the tanh-sinh integrator.
//
//   integrate(integrand, a, b, target, /) -> (integral, error_estimate, evaluations)
//       integrates a Python callable. The first exception the callable raises (or a result that
//       is not a float) ends the calls into Python: the remaining points count as NaN, which the
//       rule drops, and the exception is raised once the integration has returned.
//   integrate_builtin(name, a, b, target, /) -> (integral, error_estimate, evaluations)
//       integrates a built-in C++ integrand, chosen by name, without calling into Python.
#include <Python.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "module/owned_reference.hpp"
#include "module/raised_exception.hpp"
#include "module/testing/testing_methods.hpp"
#include "numeric/integrate.hpp"

namespace {

using obrivane::numeric::IntegrationResult;

// Calls a Python callable as an integrand. Holds the first raised exception until the caller
// takes it back with restore_exception(); owns the references it fetched until then.
class PythonIntegrand {
 public:
  explicit PythonIntegrand(PyObject* callable) : callable_(callable) {}
  PythonIntegrand(const PythonIntegrand&) = delete;
  PythonIntegrand& operator=(const PythonIntegrand&) = delete;
  ~PythonIntegrand() = default;

  double operator()(double y) {
    if (failed_) return std::numeric_limits<double>::quiet_NaN();
    PyObject* argument = PyFloat_FromDouble(y);
    if (argument == nullptr) return fail();
    PyObject* returned = PyObject_CallOneArg(callable_, argument);
    Py_DECREF(argument);
    if (returned == nullptr) return fail();
    const double value = PyFloat_AsDouble(returned);
    Py_DECREF(returned);
    if (value == -1.0 && PyErr_Occurred()) return fail();
    return value;
  }

  [[nodiscard]] bool failed() const { return failed_; }

  // Hands the held exception back to the interpreter as the current exception.
  void restore_exception() { obrivane::module::restore_raised_exception(std::move(exception_)); }

 private:
  double fail() {
    failed_ = true;
    exception_ = obrivane::module::take_raised_exception();
    return std::numeric_limits<double>::quiet_NaN();
  }

  PyObject* callable_;
  bool failed_ = false;
  obrivane::module::OwnedReference exception_;
};

// Reads a, b and target from args[1..3]; false with an exception set on failure.
bool interval_and_target(PyObject* const* args, double& a, double& b, double& target) {
  a = PyFloat_AsDouble(args[1]);
  if (a == -1.0 && PyErr_Occurred()) return false;
  b = PyFloat_AsDouble(args[2]);
  if (b == -1.0 && PyErr_Occurred()) return false;
  target = PyFloat_AsDouble(args[3]);
  if (target == -1.0 && PyErr_Occurred()) return false;
  return true;
}

PyObject* result_tuple(const IntegrationResult& result) {
  return Py_BuildValue("(ddk)", result.integral, result.error_estimate,
                       static_cast<unsigned long>(result.evaluations));
}

PyObject* integrate_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 4) {
    PyErr_Format(PyExc_TypeError, "integrate() takes exactly 4 positional arguments (%zd given)", nargs);
    return nullptr;
  }
  if (!PyCallable_Check(args[0])) {
    PyErr_SetString(PyExc_TypeError, "integrate() argument 'integrand' must be callable");
    return nullptr;
  }
  double a = 0.0;
  double b = 0.0;
  double target = 0.0;
  if (!interval_and_target(args, a, b, target)) return nullptr;

  PythonIntegrand integrand(args[0]);
  const IntegrationResult result = obrivane::numeric::integrate(integrand, a, b, target);
  if (integrand.failed()) {
    integrand.restore_exception();
    return nullptr;
  }
  return result_tuple(result);
}

// Built-in integrands: plain functions, so the integrator's non-throwing path is exercised.
double constant_one(double) noexcept { return 1.0; }
double identity(double x) noexcept { return x; }
double square(double x) noexcept { return x * x; }
double square_root(double x) noexcept { return std::sqrt(x); }
double inverse_square_root(double x) noexcept { return 1.0 / std::sqrt(x); }
double not_a_number(double) noexcept { return std::numeric_limits<double>::quiet_NaN(); }

struct NamedIntegrand {
  const char* name;
  double (*function)(double) noexcept;
};

constexpr NamedIntegrand builtin_integrands[] = {
    {"one", constant_one},
    {"x", identity},
    {"x_squared", square},
    {"sqrt", square_root},
    {"inverse_sqrt", inverse_square_root},
    {"nan", not_a_number},
};

PyObject* integrate_builtin_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 4) {
    PyErr_Format(PyExc_TypeError, "integrate_builtin() takes exactly 4 positional arguments (%zd given)",
                 nargs);
    return nullptr;
  }
  const char* name = PyUnicode_AsUTF8(args[0]);
  if (name == nullptr) return nullptr;
  double a = 0.0;
  double b = 0.0;
  double target = 0.0;
  if (!interval_and_target(args, a, b, target)) return nullptr;

  for (const NamedIntegrand& candidate : builtin_integrands) {
    if (std::strcmp(candidate.name, name) == 0) {
      return result_tuple(obrivane::numeric::integrate(candidate.function, a, b, target));
    }
  }
  PyErr_Format(PyExc_ValueError, "integrate_builtin(): unknown integrand '%s'", name);
  return nullptr;
}

}  // namespace

PyMethodDef quadrature_testing_methods[] = {
    {"integrate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(integrate_entry)), METH_FASTCALL,
     "integrate($module, integrand, a, b, target, /)\n--\n\n"
     "Tanh-sinh integral of a Python callable: (integral, error_estimate, evaluations)."},
    {"integrate_builtin",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(integrate_builtin_entry)), METH_FASTCALL,
     "integrate_builtin($module, name, a, b, target, /)\n--\n\n"
     "Tanh-sinh integral of a built-in integrand ('one', 'x', 'x_squared', 'sqrt', 'inverse_sqrt',\n"
     "'nan'): (integral, error_estimate, evaluations)."},
    {nullptr, nullptr, 0, nullptr},
};
