// The thin-ring family: Heyrovsky's ring magnification and the profile-weighted forms built on
// it, integrated over the source or summed over a tabulated profile.
#include "models/profile_weighted.hpp"
#include "models/tabulated_profile.hpp"
#include "models/thin_ring.hpp"
#include "module/call_entry.hpp"
#include "module/entry/magnification_entries.hpp"

namespace obrivane::module {

namespace {

constexpr const char* separations_and_radii[] = {"l", "re", "rstar"};
constexpr const char* with_profile_table[] = {"l", "re", "rstar", "bl", "bf"};

}  // namespace

PyObject* heyrovsky_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
  static constexpr const char* parameters[] = {"l", "r", "re", "rstar"};
  static constexpr FunctionDescription description{"heyrovsky_magnification", parameters};
  return call_entry<&models::heyrovsky_magnification>(description, args, nargs, kwnames);
}

PyObject* integrated_heyrovsky_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                   PyObject* kwnames) {
  static constexpr FunctionDescription description{"integrated_heyrovsky_magnification",
                                                   separations_and_radii};
  return call_entry<&models::integrated_heyrovsky_magnification>(description, args, nargs, kwnames);
}

PyObject* integrated_flux_map_heyrovsky_magnification_entry(PyObject*, PyObject* const* args,
                                                            Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr FunctionDescription description{"integrated_flux_map_heyrovsky_magnification",
                                                   with_profile_table};
  return call_entry<&models::integrated_flux_map_heyrovsky_magnification>(description, args, nargs, kwnames);
}

PyObject* discrete_flux_map_heyrovsky_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                          PyObject* kwnames) {
  static constexpr FunctionDescription description{"discrete_flux_map_heyrovsky_magnification",
                                                   with_profile_table};
  return call_entry<&models::discrete_flux_map_heyrovsky_magnification>(description, args, nargs, kwnames);
}

}  // namespace obrivane::module
