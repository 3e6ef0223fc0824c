// Ctrl-C during a call that runs without the interpreter lock.
//
// Signal handlers run only in the interpreter's main thread, and only when some code there asks
// for them. A call made from the main thread installs a SignalWatch as the interruption check of
// its cancellation token: every poll interval the thread takes the interpreter lock back for a
// moment and runs the pending handlers (PyErr_CheckSignals). If a handler raises (the default
// SIGINT handler raises KeyboardInterrupt), the exception is kept, the call is cancelled, and the
// call entry raises that exception instead of any result once the work has stopped. Calls from
// other threads take no such check: nothing could run there, and they never take the lock
// back before the end of the call. The lock is taken back only with an InterpreterLockPermit:
// when one is refused (the interpreter is exiting on another thread), the check cancels the
// call.
#pragma once

#include <Python.h>

#include "module/owned_reference.hpp"
#include "parallel/cancellation.hpp"

namespace obrivane::module {

class SignalWatch {
 public:
  // Made holding the lock; `thread_state` is where the caller keeps the state that
  // PyEval_SaveThread gave it while the lock is released.
  explicit SignalWatch(PyThreadState* const& thread_state) noexcept;
  // For a thread whose lock was given up by code that keeps the state itself (NumPy, around a
  // ufunc's loop): the lock is taken back with PyGILState_Ensure, which finds the thread's own
  // state. Made with or without the lock.
  SignalWatch() noexcept;
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // The check to give the call's token: none where no signal handler can run.
  [[nodiscard]] parallel::InterruptionCheck check() noexcept;

  // Whether a handler raised; raise() makes its exception pending again (holding the lock).
  [[nodiscard]] bool caught() const noexcept { return static_cast<bool>(exception_); }
  void raise() noexcept;

 private:
  // Not noexcept: signal handlers are Python code (forced_unwind.hpp).
  static bool stop_requested(void* context);

  // Null for a watch that takes the lock through PyGILState_Ensure.
  PyThreadState* const* thread_state_;
  bool handles_signals_;
  // The exception a handler raised, owned here until raise(); released holding the lock.
  OwnedReference exception_;
};

}  // namespace obrivane::module
