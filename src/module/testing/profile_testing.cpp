// Test-only access to the far-field series of the uniform disk.
//
//   uniform_disk_magnification_far(u, a) -> float
//       the uniform-disk magnification by the mean-value series, for a disk far from the lens.
#include <Python.h>

#include "models/uniform_disk_far.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"

namespace {

namespace models = obrivane::models;
using obrivane::module::call_entry;
using obrivane::module::FunctionDescription;

PyObject* uniform_disk_far_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"u", "a"};
  static constexpr FunctionDescription description{"uniform_disk_magnification_far", parameters};
  return call_entry<&models::uniform_disk_magnification_far>(description, args, nargs, kwnames);
}

}  // namespace

PyMethodDef profile_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(uniform_disk_magnification_far, uniform_disk_far_entry,
                             "uniform_disk_magnification_far(u, a)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
