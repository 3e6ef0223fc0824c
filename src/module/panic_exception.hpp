// pyo3_runtime.PanicException: how an internal failure reaches Python. The class derives from
// BaseException, so a handler for Exception does not swallow a broken invariant.
#pragma once

#include <Python.h>

#include <string_view>

#include "module/owned_reference.hpp"

namespace obrivane::module {

// The class (borrowed), created on first use and kept for the life of the process. Throws an
// InternalFailure if the interpreter cannot create it.
PyObject* panic_exception_type();

// Raises PanicException with the failure's message as its only argument. If even that fails,
// no exception can be delivered: the diagnostic "uncaught panic at ffi boundary" is written and
// the process aborts, as it would for a failure escaping into C. Not noexcept: the thread may
// be ended at exit while the class is created or the report printed (forced_unwind.hpp).
void raise_internal_failure(std::string_view message);

// A PanicException taken from the interpreter (raised, say, by another extension inside an
// element's __float__) is not an ordinary error: its report is written to standard error and
// the failure goes on as an InternalFailure with the exception's str(). The exception is
// expected normalised, as take_pending_error leaves it.
[[noreturn]] void resume_panic(OwnedReference type, OwnedReference value, OwnedReference traceback);

}  // namespace obrivane::module
