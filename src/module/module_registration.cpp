#include "module/module_registration.hpp"

#include "module/interpreter_once_cell.hpp"
#include "module/owned_reference.hpp"
#include "parallel/internal_failure.hpp"

namespace obrivane::module {

namespace {

InterpreterOnceCell name_attribute;
InterpreterOnceCell all_attribute;

PyObject* interned(InterpreterOnceCell& cell, const char* text) {
  return cell.get_or_create([text] { return PyUnicode_InternFromString(text); });
}

// The module's __all__ list (new reference), created empty if the module has none yet.
PyObject* all_list_of(PyObject* module, PyObject* all_key, std::optional<ErrorValue>& failure) {
  OwnedReference all(PyObject_GetAttr(module, all_key));
  if (all) return all.release();
  ErrorValue error = take_pending_error();
  if (!PyErr_GivenExceptionMatches(error.type(), PyExc_AttributeError)) {
    failure.emplace(std::move(error));
    return nullptr;
  }
  all = OwnedReference(PyList_New(0));
  if (!all || PyObject_SetAttr(module, all_key, all.get()) < 0) {
    failure.emplace(take_pending_error());
    return nullptr;
  }
  return all.release();
}

std::optional<ErrorValue> add_function(PyObject* module, PyMethodDef* method) {
  OwnedReference module_name(PyModule_GetNameObject(module));
  if (!module_name) return take_pending_error();
  OwnedReference function(PyCMethod_New(method, module, module_name.get(), nullptr));
  module_name = OwnedReference();
  if (!function) return take_pending_error();

  PyObject* name_key = interned(name_attribute, "__name__");
  if (name_key == nullptr) return take_pending_error();
  OwnedReference name(PyObject_GetAttr(function.get(), name_key));
  if (!name) return take_pending_error();

  PyObject* all_key = interned(all_attribute, "__all__");
  if (all_key == nullptr) return take_pending_error();
  std::optional<ErrorValue> failure;
  OwnedReference all(all_list_of(module, all_key, failure));
  if (!all) return failure;
  if (PyList_Append(all.get(), name.get()) < 0) {
    (void)take_pending_error();
    obrivane::parallel::fail_internal("could not append __name__ to __all__");
  }

  if (PyObject_SetAttr(module, name.get(), function.get()) < 0) return take_pending_error();
  return std::nullopt;
}

}  // namespace

std::optional<ErrorValue> add_functions(PyObject* module, std::span<PyMethodDef> methods) {
  for (PyMethodDef& method : methods) {
    if (std::optional<ErrorValue> failure = add_function(module, &method)) return failure;
  }
  return std::nullopt;
}

}  // namespace obrivane::module
