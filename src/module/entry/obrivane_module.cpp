// The obrivane extension module: single-phase initialisation, claimed by the main interpreter
// only, created once per process, with its eight functions registered in a fixed order that is
// also the order of __all__, its help texts and its __version__.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "models/limb_darkened.hpp"
#include "models/tabulated_profile.hpp"
#include "models/thin_ring.hpp"
#include "models/uniform_disk.hpp"
#include "module/call_entry.hpp"
#include "module/entry/function_docstrings.hpp"
#include "module/error_value.hpp"
#include "module/forced_unwind.hpp"
#include "module/fspl/fspl_module.hpp"
#include "module/fspl/xla_ffi_targets.hpp"
#include "module/interpreter_exit.hpp"
#include "module/interpreter_once_cell.hpp"
#include "module/main_thread.hpp"
#include "module/module_registration.hpp"
#include "module/python_function.hpp"

namespace obrivane::module {

namespace {

PyModuleDef obrivane_definition = {
    PyModuleDef_HEAD_INIT, "obrivane", docstrings::module, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

// The eight functions, one record each: parameter table, model operation and help text, in the
// order of registration (and of __all__). The two integrated names are the concentric-disk and
// thin-ring derivations of one quantity, and so are the two flux-map names: each pair shares
// its model.
constexpr const char* separations_and_radii[] = {"l", "re", "rstar"};
constexpr const char* with_profile_table[] = {"l", "re", "rstar", "bl", "bf"};
constexpr const char* ring_parameters[] = {"l", "r", "re", "rstar"};

constexpr FunctionDescription witt_mao{"witt_mao_magnification", separations_and_radii};
constexpr FunctionDescription integrated_witt_mao{"integrated_witt_mao_magnification", separations_and_radii};
constexpr FunctionDescription flux_map_witt_mao{"integrated_flux_map_witt_mao_magnification",
                                                with_profile_table};
constexpr FunctionDescription multi_witt_mao{"multi_witt_mao_magnification", separations_and_radii};
constexpr FunctionDescription heyrovsky{"heyrovsky_magnification", ring_parameters};
constexpr FunctionDescription integrated_heyrovsky{"integrated_heyrovsky_magnification",
                                                   separations_and_radii};
constexpr FunctionDescription flux_map_heyrovsky{"integrated_flux_map_heyrovsky_magnification",
                                                 with_profile_table};
constexpr FunctionDescription discrete_flux_map{"discrete_flux_map_heyrovsky_magnification",
                                                with_profile_table};

constexpr auto limb_darkened =
    static_cast<std::vector<double> (*)(const std::vector<double>&, double, double)>(
        &models::limb_darkened_magnification);

// The function objects point into these rows, so they live as long as the process.
PyMethodDef magnification_methods[] = {
    python_method<witt_mao, &models::witt_mao_magnification, docstrings::witt_mao_magnification>(),
    python_method<integrated_witt_mao, limb_darkened, docstrings::integrated_witt_mao_magnification>(),
    python_method<flux_map_witt_mao, &models::tabulated_magnification,
                  docstrings::integrated_flux_map_witt_mao_magnification>(),
    python_method<multi_witt_mao, &models::multi_witt_mao_magnification,
                  docstrings::multi_witt_mao_magnification>(),
    python_method<heyrovsky, &models::heyrovsky_magnification, docstrings::heyrovsky_magnification>(),
    python_method<integrated_heyrovsky, limb_darkened, docstrings::integrated_heyrovsky_magnification>(),
    python_method<flux_map_heyrovsky, &models::tabulated_magnification,
                  docstrings::integrated_flux_map_heyrovsky_magnification>(),
    python_method<discrete_flux_map, &models::discrete_ring_sum_magnification,
                  docstrings::discrete_flux_map_heyrovsky_magnification>(),
};

constexpr const char* subinterpreter_message =
    "PyO3 modules do not yet support subinterpreters, see https://github.com/PyO3/pyo3/issues/576";

// The id of the interpreter that first initialised the module; -1 before that. The module
// holds interpreter objects shared by the whole process, so no other interpreter may use it.
std::atomic<std::int64_t> owning_interpreter{-1};

// The module object of the first successful initialisation, never released.
InterpreterOnceCell module_cell;

PyObject* create_module() {
  OwnedReference module(PyModule_Create2(&obrivane_definition, 1013));
  if (!module) {
    take_pending_error().raise();
    return nullptr;
  }
  if (std::optional<ErrorValue> failure = add_functions(module.get(), magnification_methods)) {
    std::move(*failure).raise();
    return nullptr;  // the module is released, the cell stays empty
  }
  if (PyModule_AddStringConstant(module.get(), "__version__", OBRIVANE_VERSION) < 0) {
    take_pending_error().raise();
    return nullptr;
  }
  // The interface in Einstein units, an attribute as os.path is one of os; not in __all__.
  OwnedReference fspl(fspl::create_fspl_module());
  if (!fspl || PyModule_AddObjectRef(module.get(), "fspl", fspl.get()) < 0) {
    take_pending_error().raise();
    return nullptr;
  }
  // The handlers for XLA, found by obrivane_jax in sys.modules as obrivane._xla_ffi; not an
  // attribute of obrivane, whose namespace stays the public one.
  if (OwnedReference xla_ffi(fspl::create_xla_ffi_module()); !xla_ffi) {
    take_pending_error().raise();
    return nullptr;
  }
  // Signal checks belong to the main thread; the exit hook keeps threads in calls off the lock
  // once the interpreter exits.
  if (!record_main_thread() || !watch_interpreter_exit()) {
    take_pending_error().raise();
    return nullptr;
  }
  return module.release();
}

PyObject* initialise() {
  PyInterpreterState* state = PyInterpreterState_Get();
  // Only the main interpreter may claim the module. A subinterpreter is refused before it can
  // claim: the interpreter may refuse a single-phase module there anyway, after this function
  // has returned, and a claim made first would lock the main interpreter out for good.
  if (state != PyInterpreterState_Main()) {
    ErrorValue::deferred(PyExc_ImportError, subinterpreter_message).raise();
    return nullptr;
  }
  const std::int64_t interpreter = PyInterpreterState_GetID(state);
  if (interpreter == -1) {
    take_pending_error().raise();
    return nullptr;
  }
  std::int64_t claimed = -1;
  if (!owning_interpreter.compare_exchange_strong(claimed, interpreter) && claimed != interpreter) {
    ErrorValue::deferred(PyExc_ImportError, subinterpreter_message).raise();
    return nullptr;
  }
  PyObject* module = module_cell.get_or_create(create_module);
  return module == nullptr ? nullptr : Py_NewRef(module);
}

}  // namespace

}  // namespace obrivane::module

PyMODINIT_FUNC PyInit_obrivane() {
  try {
    return obrivane::module::initialise();
  } catch (...) {
    if (obrivane::module::handling_forced_unwind()) throw;
    obrivane::module::raise_caught_failure();
    return nullptr;
  }
}
