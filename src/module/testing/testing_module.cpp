// _obrivane_testing: exposes the numerical kernels and model internals to the test suite. It is
// built only for testing and never installed for ordinary users.
#include <Python.h>

#include <initializer_list>

#include "module/interpreter_exit.hpp"
#include "module/main_thread.hpp"
#include "module/testing/testing_methods.hpp"

static PyModuleDef testing_definition = {PyModuleDef_HEAD_INIT,
                                         "_obrivane_testing",
                                         "Test-only access to obrivane's numerical kernels.",
                                         0,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};

PyMODINIT_FUNC PyInit__obrivane_testing() {
  PyObject* module = PyModule_Create2(&testing_definition, 1013);
  if (module == nullptr) return nullptr;
  for (PyMethodDef* methods :
       {elliptic_testing_methods, quadrature_testing_methods, interpolation_testing_methods,
        model_testing_methods, profile_testing_methods, tabulated_testing_methods, boundary_testing_methods,
        allocation_testing_methods, runtime_testing_methods, exit_testing_methods, law_testing_methods}) {
    if (PyModule_AddFunctions(module, methods) < 0) {
      Py_DECREF(module);
      return nullptr;
    }
  }
  // This module has its own copy of the call machinery, and so of its exit and thread state.
  if (!obrivane::module::record_main_thread() || !obrivane::module::watch_interpreter_exit()) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
