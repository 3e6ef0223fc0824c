#include <Python.h>

static PyModuleDef obrivane_definition = {
    PyModuleDef_HEAD_INIT, "obrivane", "A Python module implemented in C++.", 0, nullptr, nullptr, nullptr, nullptr,
    nullptr};

PyMODINIT_FUNC PyInit_obrivane() { return PyModule_Create2(&obrivane_definition, 1013); }
