// Test-only functions that make memory run out on purpose.
//
//   fail_allocations(after, function, *args) -> the result of function(*args), called while the
//       interpreter's object and memory allocators refuse every request after the first `after`
//       (the ones passed through still come from the interpreter's own allocators, and the
//       originals are back in place before this returns).
//   refused_allocations() -> int: how many requests the last fail_allocations call refused.
//   bad_alloc_in_parallel_for(n, failing) -> list: a parallel loop over n items whose item i gives
//       i, and throws std::bad_alloc when i is listed in `failing`.
#include <Python.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/parallel_map.hpp"

namespace {

namespace module = obrivane::module;

// The allocators in force before fail_allocations installed its own, one per domain; each is the
// context of the refusing allocator of that domain. Used only while the interpreter lock is held.
PyMemAllocatorEx original_memory_allocator{};
PyMemAllocatorEx original_object_allocator{};
Py_ssize_t allocations_left = 0;
Py_ssize_t allocations_refused = 0;

bool refuse() {
  if (allocations_left > 0) {
    --allocations_left;
    return false;
  }
  ++allocations_refused;
  return true;
}

void* refusing_malloc(void* context, std::size_t size) {
  auto* original = static_cast<PyMemAllocatorEx*>(context);
  return refuse() ? nullptr : original->malloc(original->ctx, size);
}

void* refusing_calloc(void* context, std::size_t count, std::size_t size) {
  auto* original = static_cast<PyMemAllocatorEx*>(context);
  return refuse() ? nullptr : original->calloc(original->ctx, count, size);
}

void* refusing_realloc(void* context, void* block, std::size_t size) {
  auto* original = static_cast<PyMemAllocatorEx*>(context);
  return refuse() ? nullptr : original->realloc(original->ctx, block, size);
}

void passing_free(void* context, void* block) {
  auto* original = static_cast<PyMemAllocatorEx*>(context);
  original->free(original->ctx, block);
}

PyObject* fail_allocations(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs < 2) {
    PyErr_SetString(PyExc_TypeError, "fail_allocations(after, function, *args)");
    return nullptr;
  }
  const Py_ssize_t after = PyLong_AsSsize_t(args[0]);
  if (after == -1 && PyErr_Occurred()) return nullptr;
  PyObject* call_arguments = PyTuple_New(nargs - 2);
  if (call_arguments == nullptr) return nullptr;
  for (Py_ssize_t i = 2; i < nargs; ++i) PyTuple_SET_ITEM(call_arguments, i - 2, Py_NewRef(args[i]));

  PyMem_GetAllocator(PYMEM_DOMAIN_MEM, &original_memory_allocator);
  PyMem_GetAllocator(PYMEM_DOMAIN_OBJ, &original_object_allocator);
  PyMemAllocatorEx refusing_memory{&original_memory_allocator, refusing_malloc, refusing_calloc,
                                   refusing_realloc, passing_free};
  PyMemAllocatorEx refusing_object{&original_object_allocator, refusing_malloc, refusing_calloc,
                                   refusing_realloc, passing_free};
  allocations_left = after;
  allocations_refused = 0;
  PyMem_SetAllocator(PYMEM_DOMAIN_MEM, &refusing_memory);
  PyMem_SetAllocator(PYMEM_DOMAIN_OBJ, &refusing_object);
  PyObject* result = PyObject_Call(args[1], call_arguments, nullptr);
  PyMem_SetAllocator(PYMEM_DOMAIN_OBJ, &original_object_allocator);
  PyMem_SetAllocator(PYMEM_DOMAIN_MEM, &original_memory_allocator);

  Py_DECREF(call_arguments);
  return result;
}

PyObject* refused_allocations(PyObject*, PyObject*) { return PyLong_FromSsize_t(allocations_refused); }

std::vector<double> bad_alloc_in_parallel_for(double n, std::vector<double> failing) {
  if (!(n >= 0) || n != std::floor(n) || n > 1e6)
    obrivane::parallel::fail_internal("n is a whole number >= 0");
  const auto count = static_cast<std::size_t>(n);
  std::vector<double> items(count);
  obrivane::parallel::parallel_for(count, [&](std::size_t i) {
    if (std::find(failing.begin(), failing.end(), static_cast<double>(i)) != failing.end()) {
      throw std::bad_alloc();
    }
    items[i] = static_cast<double>(i);
  });
  return items;
}

PyObject* bad_alloc_in_parallel_for_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames) {
  static constexpr const char* parameters[] = {"n", "failing"};
  static constexpr module::FunctionDescription description{"bad_alloc_in_parallel_for", parameters};
  return module::call_entry<&bad_alloc_in_parallel_for>(description, args, nargs, kwnames);
}

}  // namespace

PyMethodDef allocation_testing_methods[] = {
    {"fail_allocations", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fail_allocations)),
     METH_FASTCALL, nullptr},
    {"refused_allocations", refused_allocations, METH_NOARGS, nullptr},
    OBRIVANE_FASTCALL_METHOD(bad_alloc_in_parallel_for, bad_alloc_in_parallel_for_entry,
                             "bad_alloc_in_parallel_for(n, failing)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
