// Direct reading of a one-dimensional buffer of native binary64 values, the shape in which
// NumPy arrays hand over their data.
#pragma once

#include <Python.h>

#include <optional>
#include <vector>

namespace obrivane::module {

// The elements of object, read through the buffer protocol, if object is an instance of an
// array type whose iteration yields exactly its buffer's elements as floats (numpy.ndarray,
// memoryview, array.array; not subclasses, which may iterate differently) and its buffer is
// one-dimensional native-order float64, contiguous or strided. Otherwise nothing, with no
// exception pending: the caller then iterates.
std::optional<std::vector<double>> read_float64_buffer(PyObject* object);

}  // namespace obrivane::module
