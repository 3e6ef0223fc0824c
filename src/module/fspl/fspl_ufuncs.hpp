// The ufuncs of obrivane.fspl, made with NumPy's C API.
#pragma once

#include <Python.h>

#include <span>

namespace obrivane::module::fspl {

// The names of the ufuncs, in the order of the module's __all__.
std::span<const char* const> ufunc_names() noexcept;

// Imports NumPy and stores every ufunc in `namespace_dict` under its name. Returns 0, or -1
// with an exception set (ImportError if NumPy 2 cannot be imported). Not noexcept: importing
// NumPy runs Python code (forced_unwind.hpp).
int add_ufuncs(PyObject* namespace_dict);

}  // namespace obrivane::module::fspl
