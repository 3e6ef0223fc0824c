// Taking the interpreter lock back while the interpreter exits.
//
// When the interpreter finalises, a thread that asks for the lock is not given it: CPython 3.11
// to 3.13 end such a thread inside the request with pthread_exit (a forced unwind through every
// frame above it), 3.14 blocks it forever. Neither is safe for a thread that gave the lock up in
// the middle of a call: the unwind would free the call's frame while pool workers still write
// into it, and would run handlers that swallow or abort on it. So every place where this
// project's code gives the lock up and takes it back asks first whether it may, through an
// InterpreterLockPermit, and a thread refused never returns to the interpreter: it abandons the
// interpreter's objects and sleeps until the process ends (park_thread_forever), which is what
// the interpreter itself does from 3.14 on.
//
// Asking and finding the lock must be one step as seen from the exit, or a thread could be
// allowed just before the interpreter starts to finalise and then be ended inside the request.
// A query of the interpreter's state (Py_IsFinalizing, public only from 3.13) cannot give that.
// So watch_interpreter_exit(), called when a module is created, registers an atexit hook. The
// interpreter runs atexit hooks on the exiting thread after the non-daemon threads have been
// joined and before it starts to finalise. The hook marks the exit, then gives the lock up until
// every thread holding a permit granted before the mark has let its permit go. From then on
// every permit is refused, except on the exiting thread itself (which runs the later atexit
// hooks and the objects' finalisers, and may call into the module there).
//
// Use, on a thread that does not hold the lock:
//
//   if (const obrivane::module::InterpreterLockPermit permit; permit) {
//     const PyGILState_STATE state = PyGILState_Ensure();  // or PyEval_RestoreThread(saved)
//     ... PyErr_CheckSignals(), set an exception, ...
//     PyGILState_Release(state);                          // or saved = PyEval_SaveThread()
//   } else {
//     // The interpreter is exiting: stop the work, never take the lock, never return to code
//     // that would take it (NumPy's ufunc machinery, the interpreter): park_thread_forever().
//   }
//
// Keep the permit for as long as the thread holds the lock or runs Python code (signal
// handlers, say): a thread inside a permit is never ended by the exit, which waits for it (so
// a permit is held for moments, never across the work itself). A permit that lasts
// only until the lock is taken (as at the end of a call, where the thread goes back to the
// interpreter for good) is let go with release(). A thread already holding the lock needs no
// permit; the interpreter's own lock switches while Python code runs cannot be guarded here,
// which is why the frames of this project also let a forced unwind pass (forced_unwind.hpp)
// and give back no references once the exit has begun (may_release_references()).
#pragma once

#include <Python.h>

#include <atomic>

namespace obrivane::module {

// Registers the atexit hook and the fork handler (a forked child starts with no permit held and
// no exit begun); called holding the lock, when a module is created. Returns false with an
// exception pending. Each extension module has its own copy of this state and calls it once.
[[nodiscard]] bool watch_interpreter_exit();

class InterpreterLockPermit {
 public:
  // Asks; noexcept and lock-free, callable from any thread at any time.
  InterpreterLockPermit() noexcept;
  ~InterpreterLockPermit() { release(); }
  InterpreterLockPermit(const InterpreterLockPermit&) = delete;
  InterpreterLockPermit& operator=(const InterpreterLockPermit&) = delete;

  // Whether the thread may take the lock (until release() or the end of the permit).
  [[nodiscard]] explicit operator bool() const noexcept { return granted_; }
  // Ends the permit early; the lock may then no longer be taken under it.
  void release() noexcept;

 private:
  bool granted_;
};

// Sleeps until the process ends, for a thread refused the lock. It holds nothing that another
// thread waits for: the lock was given up, and a call's work has stopped before it parks.
[[noreturn]] void park_thread_forever() noexcept;

// Takes the lock back for a thread that gave it up (PyEval_SaveThread gave `saved`), or parks
// the thread forever when the interpreter is exiting. Not noexcept: in a process where the
// atexit hook never ran (a module first imported during the exit), the interpreter may still end
// the thread inside PyEval_RestoreThread, and that unwind must pass.
void restore_thread_or_park(PyThreadState* saved);

namespace detail {
inline std::atomic<bool> exit_begun{false};
bool on_exiting_thread() noexcept;
}  // namespace detail

// False once the exit has begun, on every thread but the exiting one. A thread there may be
// ended by the interpreter the next time it waits for the lock, unwinding through destructors
// without it; its references are left to the ending process rather than released without the
// lock (or into an interpreter that is being torn down). Cheap: one atomic load while the
// interpreter runs.
[[nodiscard]] inline bool may_release_references() noexcept {
  return !detail::exit_begun.load(std::memory_order_acquire) || detail::on_exiting_thread();
}

}  // namespace obrivane::module
