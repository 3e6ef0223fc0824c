// Test-only probes of how a call runs: with or without the interpreter lock, and how the
// failures of a computation that ran without it come back.
//
//   lock_held_during(values) -> float: 1.0 if the operation ran holding the interpreter lock,
//       else 0.0 (the lock is given up for calls over enough elements).
//   probe_outcome(values, kind) -> list: over `values`, unlocked when long enough: kind 0
//       returns the values, 1 an error value ("probe: error value", RuntimeError), 2 an
//       internal failure ("probe: internal failure", PanicException), 3 another C++ exception
//       ("probe: unexpected", PanicException).
//   probe_interruptible(items, seconds, parallel) -> list: a loop over `items` (on the pool
//       when `parallel` is true, else on the calling thread with an interruption point per
//       item) whose item i sleeps `seconds` and gives i; a Ctrl-C stops it between items.
//   probe_interruptible_count() -> float: how many items the last such loop evaluated.
//   uniform_disk_batch(l, re, rstar) -> list: witt_mao_magnification run on this module's own
//       copy of the pool, whose wake-ups pool_wakeups() counts.
//   pool_wakeups() -> float: how often a thread blocked in the pool has been woken so far, in a
//       build that counts it (OBRIVANE_COUNT_WAKEUPS); -1 otherwise.
#include <Python.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <thread>
#include <vector>

#include "models/model_result.hpp"
#include "models/uniform_disk.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "parallel/cancellation.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/wakeup_count.hpp"

namespace {

namespace models = obrivane::models;
namespace module = obrivane::module;

double lock_held_during(std::vector<double>) { return PyGILState_Check() ? 1.0 : 0.0; }

models::ModelResult<std::vector<double>> probe_outcome(std::vector<double> values, double kind) {
  if (kind == 1) return models::ModelError{"probe: error value"};
  if (kind == 2) obrivane::parallel::fail_internal("probe: internal failure");
  if (kind == 3) throw std::logic_error("probe: unexpected");
  return values;
}

std::atomic<std::size_t> interruptible_count{0};

std::vector<double> probe_interruptible(std::vector<double> items, double seconds, double parallel) {
  interruptible_count.store(0);
  const auto item = [&](std::size_t i) {
    interruptible_count.fetch_add(1);
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    items[i] = static_cast<double>(i);
  };
  if (parallel != 0) {
    obrivane::parallel::parallel_for(items.size(), item);
  } else {
    for (std::size_t i = 0; i < items.size(); ++i) {
      obrivane::parallel::interruption_point();
      item(i);
    }
  }
  return items;
}

double probe_interruptible_count() { return static_cast<double>(interruptible_count.load()); }

PyObject* probe_interruptible_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"items", "seconds", "parallel"};
  static constexpr module::FunctionDescription description{"probe_interruptible", parameters};
  return module::call_entry<&probe_interruptible>(description, args, nargs, kwnames);
}

PyObject* probe_interruptible_count_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames) {
  static constexpr module::FunctionDescription description{"probe_interruptible_count", {}};
  return module::call_entry<&probe_interruptible_count>(description, args, nargs, kwnames);
}

double pool_wakeups() { return static_cast<double>(obrivane::parallel::wakeup_count()); }

PyObject* uniform_disk_batch_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"l", "re", "rstar"};
  static constexpr module::FunctionDescription description{"uniform_disk_batch", parameters};
  return module::call_entry<&models::witt_mao_magnification>(description, args, nargs, kwnames);
}

PyObject* pool_wakeups_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr module::FunctionDescription description{"pool_wakeups", {}};
  return module::call_entry<&pool_wakeups>(description, args, nargs, kwnames);
}

PyObject* lock_held_during_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"values"};
  static constexpr module::FunctionDescription description{"lock_held_during", parameters};
  return module::call_entry<&lock_held_during>(description, args, nargs, kwnames);
}

PyObject* probe_outcome_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"values", "kind"};
  static constexpr module::FunctionDescription description{"probe_outcome", parameters};
  return module::call_entry<&probe_outcome>(description, args, nargs, kwnames);
}

}  // namespace

PyMethodDef runtime_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(lock_held_during, lock_held_during_entry, "lock_held_during(values)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(probe_outcome, probe_outcome_entry, "probe_outcome(values, kind)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(probe_interruptible, probe_interruptible_entry,
                             "probe_interruptible(items, seconds, parallel)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(probe_interruptible_count, probe_interruptible_count_entry,
                             "probe_interruptible_count()\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(uniform_disk_batch, uniform_disk_batch_entry,
                             "uniform_disk_batch(l, re, rstar)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(pool_wakeups, pool_wakeups_entry, "pool_wakeups()\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
