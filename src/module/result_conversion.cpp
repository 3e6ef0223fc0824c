#include "module/result_conversion.hpp"

#include "models/internal_failure.hpp"
#include "module/owned_reference.hpp"

namespace obrivane::module {

namespace {

PyObject* checked(PyObject* new_reference) {
  if (new_reference == nullptr) {
    PyErr_Print();
    models::fail_internal("Python API call failed");
  }
  return new_reference;
}

}  // namespace

PyObject* to_python(double value) { return checked(PyFloat_FromDouble(value)); }

PyObject* to_python(const std::vector<double>& values) {
  OwnedReference list(checked(PyList_New(static_cast<Py_ssize_t>(values.size()))));
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_python(values[i]));
  }
  return list.release();
}

PyObject* to_python(const std::vector<std::vector<double>>& rows) {
  OwnedReference list(checked(PyList_New(static_cast<Py_ssize_t>(rows.size()))));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_python(rows[i]));
  }
  return list.release();
}

}  // namespace obrivane::module
