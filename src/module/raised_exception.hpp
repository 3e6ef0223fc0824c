// The interpreter's pending exception taken as one object and made pending again: the
// exception instance carries its type and traceback. From 3.12 that is PyErr_GetRaisedException
// and PyErr_SetRaisedException; 3.11 has only the (type, value, traceback) triple, normalised
// here into the same one object.
#pragma once

#include <Python.h>

#include "module/owned_reference.hpp"

namespace obrivane::module {

// The pending exception (null if none), leaving nothing pending. Holding the lock. Not noexcept:
// on 3.11 normalising may instantiate the exception, running Python code (forced_unwind.hpp).
inline OwnedReference take_raised_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return OwnedReference(PyErr_GetRaisedException());
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return OwnedReference();
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr) PyException_SetTraceback(value, traceback);
  Py_DECREF(type);
  Py_XDECREF(traceback);
  return OwnedReference(value);
#endif
}

// Makes `exception` (taken by take_raised_exception) the pending exception again.
inline void restore_raised_exception(OwnedReference exception) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exception.release());
#else
  PyObject* value = exception.release();
  PyObject* type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value)));
  PyErr_Restore(type, value, PyException_GetTraceback(value));
#endif
}

}  // namespace obrivane::module
