// A process-wide interpreter object created at most once, on first use, and never released.
//
// The fast path is a single atomic load. A thread that finds the cell empty gives up the
// interpreter lock before it waits for the creation lock, so that a thread already creating the
// value (which may run Python code and switch threads) can finish; it takes the interpreter lock
// back before creating the value or after finding it created.
#pragma once

#include <Python.h>

#include <atomic>
#include <mutex>

#include "module/interpreter_exit.hpp"

namespace obrivane::module {

class InterpreterOnceCell {
 public:
  InterpreterOnceCell() = default;
  InterpreterOnceCell(const InterpreterOnceCell&) = delete;
  InterpreterOnceCell& operator=(const InterpreterOnceCell&) = delete;

  // The value, or null while it has not been created. Borrowed: the cell keeps it alive.
  [[nodiscard]] PyObject* get() const noexcept { return value_.load(std::memory_order_acquire); }

  // Returns the value (borrowed), creating it with create() -> new reference if the cell is
  // empty. If create() returns null (with an exception pending) or throws, the cell stays empty
  // and the next caller tries again. Must be called holding the interpreter lock.
  template <class Create>
  PyObject* get_or_create(Create&& create) {
    if (PyObject* existing = get()) return existing;
    PyThreadState* saved = PyEval_SaveThread();
    // Recursive, because creating a value runs Python code that may come back here on the same
    // thread (an import hook calling into the module); the inner call then creates the value.
    std::unique_lock<std::recursive_mutex> creation(lock_);
    {
      // The interpreter may have begun to exit meanwhile (interpreter_exit.hpp); a thread
      // refused the lock lets the creation lock go first, so the exiting thread can use it.
      const InterpreterLockPermit permit;
      if (!permit) {
        creation.unlock();
        park_thread_forever();
      }
      PyEval_RestoreThread(saved);
    }
    if (PyObject* existing = get()) return existing;
    PyObject* created = create();
    if (created == nullptr) return nullptr;
    if (PyObject* existing = get()) {  // filled by a reentrant call during create()
      Py_DECREF(created);
      return existing;
    }
    value_.store(created, std::memory_order_release);
    return created;
  }

 private:
  std::atomic<PyObject*> value_{nullptr};
  std::recursive_mutex lock_;
};

}  // namespace obrivane::module
