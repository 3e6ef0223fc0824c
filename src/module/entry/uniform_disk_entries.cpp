// The uniform-disk family: the Witt-Mao magnification, its batched form over source
// configurations, and its profile-weighted forms.
#include "models/profile_weighted.hpp"
#include "models/tabulated_profile.hpp"
#include "models/uniform_disk.hpp"
#include "module/call_entry.hpp"
#include "module/entry/magnification_entries.hpp"

namespace obrivane::module {

namespace {

constexpr const char* separations_and_radii[] = {"l", "re", "rstar"};
constexpr const char* with_profile_table[] = {"l", "re", "rstar", "bl", "bf"};

}  // namespace

PyObject* witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  static constexpr FunctionDescription description{"witt_mao_magnification", separations_and_radii};
  return call_entry<&models::witt_mao_magnification>(description, args, nargs, kwnames);
}

PyObject* integrated_witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                  PyObject* kwnames) {
  static constexpr FunctionDescription description{"integrated_witt_mao_magnification",
                                                   separations_and_radii};
  return call_entry<&models::integrated_witt_mao_magnification>(description, args, nargs, kwnames);
}

PyObject* integrated_flux_map_witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                           PyObject* kwnames) {
  static constexpr FunctionDescription description{"integrated_flux_map_witt_mao_magnification",
                                                   with_profile_table};
  return call_entry<&models::integrated_flux_map_witt_mao_magnification>(description, args, nargs, kwnames);
}

// All three parameters are sequences here: every Einstein radius is combined with every
// source radius.
PyObject* multi_witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                             PyObject* kwnames) {
  static constexpr FunctionDescription description{"multi_witt_mao_magnification", separations_and_radii};
  return call_entry<&models::multi_witt_mao_magnification>(description, args, nargs, kwnames);
}

}  // namespace obrivane::module
