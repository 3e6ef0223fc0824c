#include "module/interpreter_hooks.hpp"

#include "module/owned_reference.hpp"

namespace obrivane::module {
namespace {

// Calls module.function(hook) (positional) or module.function(keyword=hook).
bool register_hook(const char* module_name, const char* function_name, const char* keyword,
                   PyMethodDef& hook) {
  OwnedReference module(PyImport_ImportModule(module_name));
  if (!module) return false;
  OwnedReference function(PyObject_GetAttrString(module.get(), function_name));
  if (!function) return false;
  OwnedReference callable(PyCFunction_New(&hook, nullptr));
  if (!callable) return false;
  OwnedReference result;
  if (keyword == nullptr) {
    result = OwnedReference(PyObject_CallOneArg(function.get(), callable.get()));
  } else {
    OwnedReference arguments(PyTuple_New(0));
    OwnedReference keywords(PyDict_New());
    if (!arguments || !keywords || PyDict_SetItemString(keywords.get(), keyword, callable.get()) < 0)
      return false;
    result = OwnedReference(PyObject_Call(function.get(), arguments.get(), keywords.get()));
  }
  return static_cast<bool>(result);
}

}  // namespace

bool register_at_exit(PyMethodDef& hook) { return register_hook("atexit", "register", nullptr, hook); }

bool register_after_fork_in_child(PyMethodDef& hook) {
#ifdef _WIN32
  // No fork there (and no os.register_at_fork).
  static_cast<void>(hook);
  return true;
#else
  return register_hook("os", "register_at_fork", "after_in_child", hook);
#endif
}

}  // namespace obrivane::module
