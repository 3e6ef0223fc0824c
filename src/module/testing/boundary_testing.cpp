// Test-only functions that exercise the call entry itself: identities for each conversion and
// result kind, and operations that fail in each of the ways a model can.
#include <atomic>
#include <stdexcept>
#include <vector>

#include "models/model_result.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "numeric/elliptic_result.hpp"
#include "parallel/internal_failure.hpp"

namespace {

using obrivane::module::call_entry;
using obrivane::module::FunctionDescription;

std::atomic<long> probe_call_count{0};

double echo_float(double x) { return x; }
std::vector<double> echo_vector(std::vector<double> l) { return l; }
// Converts its argument and returns only the element count, so that the conversion's cost can be
// measured without the cost of building a result list.
double vector_length(std::vector<double> l) { return static_cast<double>(l.size()); }
std::vector<std::vector<double>> echo_rows(std::vector<double> first, std::vector<double> second) {
  return {std::move(first), std::move(second)};
}
// Records that it ran, so that a test can see whether the operation was reached.
std::vector<double> conversion_probe(std::vector<double> l, double re) {
  probe_call_count.fetch_add(1);
  l.push_back(re);
  return l;
}
double probe_calls() { return static_cast<double>(probe_call_count.load()); }
obrivane::models::ModelResult<double> model_error(double) {
  return obrivane::models::ModelError{"ellippi: n cannot be 1."};
}
obrivane::models::ModelResult<std::vector<double>> model_vector(std::vector<double> l) { return l; }
obrivane::numeric::EllipticResult elliptic_failure(double) {
  return obrivane::numeric::EllipticResult::failure("ellipk: m must be less than 1.");
}
obrivane::numeric::EllipticResult elliptic_value(double x) {
  return obrivane::numeric::EllipticResult::value_of(x);
}
double internal_failure(double) { obrivane::parallel::fail_internal("requested internal failure"); }
double unexpected_exception(double) { throw std::logic_error("requested unexpected exception"); }

#define OBRIVANE_TESTING_ENTRY(function, ...)                                                         \
  PyObject* function##_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
    static constexpr const char* parameters[] = {__VA_ARGS__};                                        \
    static constexpr FunctionDescription description{#function, parameters};                          \
    return call_entry<&function>(description, args, nargs, kwnames);                                  \
  }

OBRIVANE_TESTING_ENTRY(echo_float, "x")
OBRIVANE_TESTING_ENTRY(echo_vector, "l")
OBRIVANE_TESTING_ENTRY(vector_length, "l")
OBRIVANE_TESTING_ENTRY(echo_rows, "first", "second")
OBRIVANE_TESTING_ENTRY(conversion_probe, "l", "re")
OBRIVANE_TESTING_ENTRY(model_error, "x")
OBRIVANE_TESTING_ENTRY(model_vector, "l")
OBRIVANE_TESTING_ENTRY(elliptic_failure, "x")
OBRIVANE_TESTING_ENTRY(elliptic_value, "x")
OBRIVANE_TESTING_ENTRY(internal_failure, "x")
OBRIVANE_TESTING_ENTRY(unexpected_exception, "x")

PyObject* probe_calls_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"probe_calls", {}};
  return call_entry<&probe_calls>(description, args, nargs, kwnames);
}

// Takes the pending exception when there is none, as a C API call that fails without setting one
// would leave things.
PyObject* take_error_when_none_is_pending(PyObject*, PyObject*) {
  try {
    obrivane::module::take_pending_error().raise();
  } catch (...) {
    obrivane::module::raise_caught_failure();
  }
  return nullptr;
}

}  // namespace

PyMethodDef boundary_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(echo_float, echo_float_entry, "echo_float(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(echo_vector, echo_vector_entry, "echo_vector(l)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(vector_length, vector_length_entry, "vector_length(l)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(echo_rows, echo_rows_entry, "echo_rows(first, second)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(conversion_probe, conversion_probe_entry, "conversion_probe(l, re)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(probe_calls, probe_calls_entry, "probe_calls()\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(model_error, model_error_entry, "model_error(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(model_vector, model_vector_entry, "model_vector(l)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(elliptic_failure, elliptic_failure_entry, "elliptic_failure(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(elliptic_value, elliptic_value_entry, "elliptic_value(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(internal_failure, internal_failure_entry, "internal_failure(x)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(unexpected_exception, unexpected_exception_entry,
                             "unexpected_exception(x)\n--\n\n"),
    {"take_error_when_none_is_pending", take_error_when_none_is_pending, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
