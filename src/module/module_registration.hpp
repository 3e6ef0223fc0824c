// Adding functions to a module: each becomes a built-in function bound to the module and its
// name is appended to the module's __all__, in table order.
#pragma once

#include <Python.h>

#include <optional>
#include <span>

#include "module/error_value.hpp"

namespace obrivane::module {

// Registers every method definition of `methods` (which must live as long as the process) on
// `module`, in order; the first failing step ends the registration with its error.
std::optional<ErrorValue> add_functions(PyObject* module, std::span<PyMethodDef> methods);

}  // namespace obrivane::module
