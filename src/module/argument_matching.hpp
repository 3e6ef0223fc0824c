// Matching of the positional and keyword arguments of a METH_FASTCALL | METH_KEYWORDS call to
// the slots of a parameter table, with the interpreter's own wording for every mismatch.
#pragma once

#include <Python.h>

#include <optional>
#include <span>

#include "module/error_value.hpp"
#include "module/function_description.hpp"

namespace obrivane::module {

// Fills slots (one per parameter, all null on entry) with borrowed references to the argument
// objects. args holds nargs positional values followed by one value per name of kwnames (which
// may be null). On a mismatch the result is a TypeError naming the function; nothing is
// allocated when the call matches.
std::optional<ErrorValue> match_arguments(const FunctionDescription& description, PyObject* const* args,
                                          Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots);

}  // namespace obrivane::module
