#include "module/main_thread.hpp"

#include <Python.h>

#include <atomic>

#include "module/interpreter_hooks.hpp"
#include "module/owned_reference.hpp"

namespace obrivane::module {
namespace {

// PyThread_get_thread_ident() of the main thread; threading's identifiers are the same numbers.
// Relaxed: written holding the lock, before any call can read it.
std::atomic<unsigned long> main_thread_ident{0};

PyObject* main_thread_after_fork(PyObject*, PyObject*) {
  main_thread_ident.store(PyThread_get_thread_ident(), std::memory_order_relaxed);
  Py_RETURN_NONE;
}

PyMethodDef after_fork_hook = {"_obrivane_main_thread_after_fork", main_thread_after_fork, METH_NOARGS,
                               nullptr};

}  // namespace

bool record_main_thread() {
  OwnedReference threading(PyImport_ImportModule("threading"));
  if (!threading) return false;
  OwnedReference main(PyObject_CallMethod(threading.get(), "main_thread", nullptr));
  if (!main) return false;
  OwnedReference ident(PyObject_GetAttrString(main.get(), "ident"));
  if (!ident) return false;
  const unsigned long value = PyLong_AsUnsignedLong(ident.get());
  if (value == static_cast<unsigned long>(-1) && PyErr_Occurred()) return false;
  main_thread_ident.store(value, std::memory_order_relaxed);
  return register_after_fork_in_child(after_fork_hook);
}

bool on_main_thread() noexcept {
  return PyThread_get_thread_ident() == main_thread_ident.load(std::memory_order_relaxed);
}

}  // namespace obrivane::module
