// obrivane.fspl is a plain module object whose namespace starts with its docstring, __all__ and
// the two functions of lazy attribute access (PEP 562). The first __getattr__ call imports NumPy
// and stores every ufunc in the namespace, where later lookups find them directly; importing
// obrivane therefore costs no more than it did, and needs no NumPy.
#include "module/fspl/fspl_module.hpp"

#include "module/fspl/fspl_docstrings.hpp"
#include "module/fspl/fspl_ufuncs.hpp"
#include "module/owned_reference.hpp"

namespace obrivane::module::fspl {
namespace {

constexpr const char* qualified_name = "obrivane.fspl";

// Fills the namespace with the ufuncs unless an earlier call did. Without NumPy 2, NumPy's own
// ImportError says why.
int ensure_ufuncs(PyObject* module) {
  PyObject* dict = PyModule_GetDict(module);  // borrowed
  OwnedReference first(PyUnicode_FromString(ufunc_names().front()));
  if (!first) return -1;
  const int present = PyDict_Contains(dict, first.get());
  if (present != 0) return present < 0 ? -1 : 0;
  return add_ufuncs(dict);
}

PyObject* module_getattr(PyObject* module, PyObject* name) {
  if (ensure_ufuncs(module) < 0) return nullptr;
  PyObject* found = PyDict_GetItemWithError(PyModule_GetDict(module), name);  // borrowed
  if (found != nullptr) return Py_NewRef(found);
  if (!PyErr_Occurred()) {
    PyErr_Format(PyExc_AttributeError, "module '%s' has no attribute '%U'", qualified_name, name);
  }
  return nullptr;
}

PyObject* module_dir(PyObject* module, PyObject*) {
  if (ensure_ufuncs(module) < 0) return nullptr;
  OwnedReference names(PyDict_Keys(PyModule_GetDict(module)));
  if (!names || PyList_Sort(names.get()) < 0) return nullptr;
  return names.release();
}

PyMethodDef lazy_access_methods[] = {
    {"__getattr__", module_getattr, METH_O, "Makes the ufuncs on first access."},
    {"__dir__", module_dir, METH_NOARGS, "The names of the module, ufuncs included."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef fspl_definition = {PyModuleDef_HEAD_INIT,
                               qualified_name,
                               docstrings::module,
                               0,
                               lazy_access_methods,
                               nullptr,
                               nullptr,
                               nullptr,
                               nullptr};

int add_all(PyObject* module) {
  OwnedReference all(PyList_New(0));
  if (!all) return -1;
  for (const char* name : ufunc_names()) {
    OwnedReference text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return -1;
  }
  return PyModule_AddObjectRef(module, "__all__", all.get());
}

}  // namespace

PyObject* create_fspl_module() {
  OwnedReference module(PyModule_Create2(&fspl_definition, PYTHON_API_VERSION));
  if (!module || add_all(module.get()) < 0) return nullptr;
  PyObject* modules = PyImport_GetModuleDict();  // borrowed
  if (PyDict_SetItemString(modules, qualified_name, module.get()) < 0) return nullptr;
  return module.release();
}

}  // namespace obrivane::module::fspl
