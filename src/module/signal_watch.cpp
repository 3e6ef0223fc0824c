#include "module/signal_watch.hpp"

#include <utility>

#include "module/interpreter_exit.hpp"
#include "module/main_thread.hpp"
#include "module/raised_exception.hpp"

namespace obrivane::module {

SignalWatch::SignalWatch(PyThreadState* const& thread_state) noexcept
    : thread_state_(&thread_state), handles_signals_(on_main_thread()) {}

SignalWatch::SignalWatch() noexcept : thread_state_(nullptr), handles_signals_(on_main_thread()) {}

parallel::InterruptionCheck SignalWatch::check() noexcept {
  if (!handles_signals_) return {};
  return parallel::InterruptionCheck{this, &SignalWatch::stop_requested};
}

bool SignalWatch::stop_requested(void* context) {
  auto* watch = static_cast<SignalWatch*>(context);
  if (watch->caught()) return true;
  // Held until the lock is given back: the handlers run Python code, during which the exit
  // must not begin (it would end this thread while the pool still works in its frame).
  const InterpreterLockPermit permit;
  if (!permit) return true;
  if (watch->thread_state_ == nullptr) {
    const PyGILState_STATE state = PyGILState_Ensure();
    if (PyErr_CheckSignals() != 0) watch->exception_ = take_raised_exception();
    PyGILState_Release(state);
    return watch->caught();
  }
  PyEval_RestoreThread(*watch->thread_state_);
  if (PyErr_CheckSignals() != 0) watch->exception_ = take_raised_exception();
  // The same thread state goes back where the caller keeps it.
  static_cast<void>(PyEval_SaveThread());
  return watch->caught();
}

void SignalWatch::raise() noexcept { restore_raised_exception(std::move(exception_)); }

}  // namespace obrivane::module
