#include "module/interpreter_exit.hpp"

#include <chrono>
#include <thread>

#include "module/interpreter_hooks.hpp"

namespace obrivane::module {
namespace {

// Permits granted and not yet let go.
std::atomic<long> permits_held{0};
// The thread running the exit; written before exit_begun is set, read after it is seen set.
std::atomic<unsigned long> exiting_thread{0};

// The atexit hook, on the exiting thread holding the lock. Marking the exit and then reading the
// count of permits held (both sequentially consistent), against a permit's raising the count
// and then reading the mark, means that a permit either sees the mark and is refused, or is
// counted here and waited for. The lock is given up while waiting: the permits waited for are
// those of threads that need it.
PyObject* mark_interpreter_exit(PyObject*, PyObject*) {
  exiting_thread.store(PyThread_get_thread_ident(), std::memory_order_relaxed);
  detail::exit_begun.store(true, std::memory_order_seq_cst);
  long held = permits_held.load(std::memory_order_seq_cst);
  if (held != 0) {
    PyThreadState* saved = PyEval_SaveThread();
    while (held != 0) {
      permits_held.wait(held, std::memory_order_seq_cst);
      held = permits_held.load(std::memory_order_seq_cst);
    }
    PyEval_RestoreThread(saved);
  }
  Py_RETURN_NONE;
}

// In a forked child, on its only thread: the permits of the parent's other threads were never
// let go there, and an exit begun in the parent is not the child's.
PyObject* reset_after_fork(PyObject*, PyObject*) {
  permits_held.store(0, std::memory_order_relaxed);
  detail::exit_begun.store(false, std::memory_order_relaxed);
  Py_RETURN_NONE;
}

PyMethodDef exit_hook = {"_obrivane_mark_interpreter_exit", mark_interpreter_exit, METH_NOARGS, nullptr};
PyMethodDef fork_hook = {"_obrivane_reset_after_fork", reset_after_fork, METH_NOARGS, nullptr};

}  // namespace

bool detail::on_exiting_thread() noexcept {
  return PyThread_get_thread_ident() == exiting_thread.load(std::memory_order_relaxed);
}

bool watch_interpreter_exit() {
  return register_at_exit(exit_hook) && register_after_fork_in_child(fork_hook);
}

InterpreterLockPermit::InterpreterLockPermit() noexcept : granted_(true) {
  permits_held.fetch_add(1, std::memory_order_seq_cst);
  // exit_begun seen set orders the read of exiting_thread after the hook's write of it.
  if (detail::exit_begun.load(std::memory_order_seq_cst) && !detail::on_exiting_thread()) release();
}

void InterpreterLockPermit::release() noexcept {
  if (!granted_) return;
  granted_ = false;
  permits_held.fetch_sub(1, std::memory_order_seq_cst);
  if (detail::exit_begun.load(std::memory_order_seq_cst)) permits_held.notify_all();
}

void park_thread_forever() noexcept {
  // Sleeping rather than waiting on an object: nothing is left for the process's exit to
  // destroy under a waiter.
  for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
}

void restore_thread_or_park(PyThreadState* saved) {
  InterpreterLockPermit permit;
  if (!permit) park_thread_forever();
  PyEval_RestoreThread(saved);
}

}  // namespace obrivane::module
