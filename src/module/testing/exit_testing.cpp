// Test-only probe of taking the interpreter lock back while the interpreter exits.
//
//   cycle_lock(interval, mode): gives the lock up, then forever: sleeps `interval` seconds and
//       takes the lock back for a moment, the way a loop running without it checks for signals.
//       mode 0 asks an InterpreterLockPermit and takes the lock with PyEval_RestoreThread, mode
//       1 asks a permit and takes it with PyGILState_Ensure, mode 2 takes it with
//       PyGILState_Ensure without asking. A thread refused a permit parks for good. If the
//       interpreter ends the thread while it takes the lock (the forced unwind of 3.11-3.13),
//       "cycle_lock: ended while taking the lock" goes to standard error. Never returns.
#include <Python.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "module/forced_unwind.hpp"
#include "module/interpreter_exit.hpp"
#include "module/testing/testing_methods.hpp"

namespace {

namespace module = obrivane::module;

void take_and_give_back(PyThreadState*& saved, int mode) {
  if (mode == 2) {
    const PyGILState_STATE state = PyGILState_Ensure();
    PyGILState_Release(state);
    return;
  }
  const module::InterpreterLockPermit permit;
  if (!permit) module::park_thread_forever();
  if (mode == 0) {
    PyEval_RestoreThread(saved);
    static_cast<void>(PyErr_CheckSignals());
    saved = PyEval_SaveThread();
  } else {
    const PyGILState_STATE state = PyGILState_Ensure();
    static_cast<void>(PyErr_CheckSignals());
    PyGILState_Release(state);
  }
}

[[noreturn]] void cycle(PyThreadState* saved, double interval, int mode) {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::duration<double>(interval));
    take_and_give_back(saved, mode);
  }
}

PyObject* cycle_lock(PyObject*, PyObject* args) {
  double interval = 0;
  int mode = 0;
  if (!PyArg_ParseTuple(args, "di:cycle_lock", &interval, &mode)) return nullptr;
  PyThreadState* saved = PyEval_SaveThread();
  try {
    cycle(saved, interval, mode);
  } catch (...) {
    if (module::handling_forced_unwind()) std::fputs("cycle_lock: ended while taking the lock\n", stderr);
    throw;
  }
}

}  // namespace

PyMethodDef exit_testing_methods[] = {
    {"cycle_lock", cycle_lock, METH_VARARGS, "cycle_lock(interval, mode)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};
