// Conversion of argument objects to binary64 values and vectors, and the renaming of a failed
// conversion after the parameter it belongs to.
#pragma once

#include <Python.h>

#include <variant>
#include <vector>

#include "module/error_value.hpp"

namespace obrivane::module {

template <class T>
using Converted = std::variant<T, ErrorValue>;

// Float rule: a float is read directly; anything else goes through the interpreter's own
// float conversion (int, bool, float subclasses, __float__, __index__), whose exceptions are the
// error.
Converted<double> convert_float(PyObject* object);

// Sequence rule: every element of a sequence (not a str), each by the float rule, in iteration
// order. A one-dimensional float64 buffer of an array type is read directly, with the same
// values the iteration would give.
Converted<std::vector<double>> convert_sequence(PyObject* object);

// A TypeError (exactly that class) from converting parameter `parameter` becomes a new TypeError
// "argument '{parameter}': {text}" that keeps the original's cause; any other error is returned
// unchanged.
ErrorValue argument_extraction_error(const char* parameter, ErrorValue error);

}  // namespace obrivane::module
