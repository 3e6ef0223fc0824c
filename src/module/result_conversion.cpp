#include "module/result_conversion.hpp"

#include "module/owned_reference.hpp"
#include "module/pending_python_error.hpp"

namespace obrivane::module {

namespace {

// A failed creation (memory exhausted) leaves the interpreter's exception pending; the partly
// built list is released on the way out, its empty slots included.
PyObject* checked(PyObject* new_reference) {
  if (new_reference == nullptr) throw PendingPythonError{};
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
