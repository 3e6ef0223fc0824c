// Conversion of model results into new interpreter objects: a float, a list of floats, or a
// list of lists of floats. A failing C API call here throws PendingPythonError, leaving the
// interpreter's exception (a MemoryError) to be raised as it is.
#pragma once

#include <Python.h>

#include <vector>

namespace obrivane::module {

PyObject* to_python(double value);
PyObject* to_python(const std::vector<double>& values);
PyObject* to_python(const std::vector<std::vector<double>>& rows);

}  // namespace obrivane::module
