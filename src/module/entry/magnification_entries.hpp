// The entry functions of the eight Python functions of obrivane (METH_FASTCALL |
// METH_KEYWORDS convention), each matching its arguments, converting them and calling its model.
#pragma once

#include <Python.h>

namespace obrivane::module {

PyObject* witt_mao_magnification_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames);
PyObject* integrated_witt_mao_magnification_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                                  PyObject* kwnames);
PyObject* integrated_flux_map_witt_mao_magnification_entry(PyObject* self, PyObject* const* args,
                                                           Py_ssize_t nargs, PyObject* kwnames);
PyObject* multi_witt_mao_magnification_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                             PyObject* kwnames);
PyObject* heyrovsky_magnification_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames);
PyObject* integrated_heyrovsky_magnification_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                                   PyObject* kwnames);
PyObject* integrated_flux_map_heyrovsky_magnification_entry(PyObject* self, PyObject* const* args,
                                                            Py_ssize_t nargs, PyObject* kwnames);
PyObject* discrete_flux_map_heyrovsky_magnification_entry(PyObject* self, PyObject* const* args,
                                                          Py_ssize_t nargs, PyObject* kwnames);

}  // namespace obrivane::module
