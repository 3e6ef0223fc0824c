#include <Python.h>

static PyModuleDef testing_definition = {PyModuleDef_HEAD_INIT,
                                         "_obrivane_testing",
                                         "Test-only access to obrivane's numerical kernels.",
                                         0,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};

PyMODINIT_FUNC PyInit__obrivane_testing() { return PyModule_Create2(&testing_definition, 1013); }
