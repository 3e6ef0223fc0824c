#include "module/signal_watch.hpp"

namespace obrivane::module {
namespace {

// Whether signal handlers can run on the calling thread: the main thread of the main
// interpreter. Interpreters without the query let every thread poll; PyErr_CheckSignals then
// does nothing off the main thread, at the price of taking the lock back now and then.
bool thread_handles_signals() noexcept {
#if PY_VERSION_HEX < 0x030D0000
  return _PyOS_IsMainThread() != 0;
#else
  return true;
#endif
}

}  // namespace

SignalWatch::SignalWatch(PyThreadState* const& thread_state) noexcept
    : thread_state_(thread_state), handles_signals_(thread_handles_signals()) {}

parallel::InterruptionCheck SignalWatch::check() noexcept {
  if (!handles_signals_) return {};
  return parallel::InterruptionCheck{this, &SignalWatch::stop_requested};
}

bool SignalWatch::stop_requested(void* context) noexcept {
  auto* watch = static_cast<SignalWatch*>(context);
  if (watch->caught()) return true;
  PyEval_RestoreThread(watch->thread_state_);
  if (PyErr_CheckSignals() != 0) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    watch->type_ = OwnedReference(type);
    watch->value_ = OwnedReference(value);
    watch->traceback_ = OwnedReference(traceback);
  }
  // The same thread state goes back where the caller keeps it.
  static_cast<void>(PyEval_SaveThread());
  return watch->caught();
}

void SignalWatch::raise() noexcept { PyErr_Restore(type_.release(), value_.release(), traceback_.release()); }

}  // namespace obrivane::module
