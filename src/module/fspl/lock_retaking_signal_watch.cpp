#include "module/fspl/lock_retaking_signal_watch.hpp"

namespace obrivane::module::fspl {

bool LockRetakingSignalWatch::stop_requested(void* context) noexcept {
  auto* watch = static_cast<LockRetakingSignalWatch*>(context);
  if (watch->caught()) return true;
  const PyGILState_STATE state = PyGILState_Ensure();
  // Off the main thread no handler runs, and PyErr_CheckSignals returns 0 at once.
  if (PyErr_CheckSignals() != 0) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    watch->type_ = OwnedReference(type);
    watch->value_ = OwnedReference(value);
    watch->traceback_ = OwnedReference(traceback);
  }
  PyGILState_Release(state);
  return watch->caught();
}

}  // namespace obrivane::module::fspl
