// Test-only probes of the worker pool and of how a call runs: with or without the interpreter lock, and how
// the failures of a computation that ran without it come back.
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
//   pool_size() -> float: the number of workers, creating the pool.
//   configured_pool_size() -> float: the size a pool created now would get, without creating it.
//   probe_parallel_for(n, failing, seconds) -> list: a parallel loop over n items whose item i
//       gives i, sleeps `seconds` first, and fails with "element {i} failed" when i is listed in
//       `failing` (an internal failure, raised as PanicException).
//   probe_evaluations() -> float: how many items the last probe loop evaluated.
//   probe_threads(n, seconds) -> [workers, caller]: how many distinct threads other than the
//       caller evaluated the n items of a loop (each sleeping `seconds`), and how many items the
//       calling thread evaluated itself.
//   nested_parallel_for(outer, inner, failing) -> list of lists: item (i, j) of a loop nested in
//       a loop gives i*inner + j and fails when that number is listed in `failing`.
//   parse_thread_count(text, /) -> int or None: the pool-size number rule, applied to a str or
//       bytes value.
//   cgroup_cpu_quota(proc_self_cgroup, proc_self_mountinfo, cgroup2_root, /) -> int or None: the
//       control-group CPU quota read from the given files.
#include <Python.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "models/model_result.hpp"
#include "models/uniform_disk.hpp"
#include "module/call_entry.hpp"
#include "module/testing/testing_methods.hpp"
#include "parallel/cancellation.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/platform/control_group_quota.hpp"
#include "parallel/pool_size.hpp"
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

namespace parallel = obrivane::parallel;

std::atomic<std::size_t> probe_evaluation_count{0};

std::size_t item_count(double n) {
  if (!(n >= 0) || n != std::floor(n) || n > 1e9)
    obrivane::parallel::fail_internal("an item count is a whole number >= 0");
  return static_cast<std::size_t>(n);
}

bool listed(const std::vector<double>& items, std::size_t i) {
  return std::find(items.begin(), items.end(), static_cast<double>(i)) != items.end();
}

void pause_for(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

double pool_size_for_python() { return static_cast<double>(parallel::pool_size()); }

double configured_pool_size_for_python() { return static_cast<double>(parallel::configured_pool_size()); }

std::vector<double> probe_parallel_for(double n, std::vector<double> failing, double seconds) {
  const std::size_t count = item_count(n);
  std::vector<double> items(count);
  probe_evaluation_count.store(0);
  parallel::parallel_for(count, [&](std::size_t i) {
    probe_evaluation_count.fetch_add(1);
    if (listed(failing, i)) obrivane::parallel::fail_internal("element " + std::to_string(i) + " failed");
    pause_for(seconds);
    items[i] = static_cast<double>(i);
  });
  return items;
}

double probe_evaluations() { return static_cast<double>(probe_evaluation_count.load()); }

std::vector<double> probe_threads(double n, double seconds) {
  const std::size_t count = item_count(n);
  const std::thread::id caller = std::this_thread::get_id();
  std::mutex mutex;
  std::set<std::thread::id> workers;
  std::size_t on_caller = 0;
  parallel::parallel_for(count, [&](std::size_t) {
    pause_for(seconds);
    std::lock_guard<std::mutex> guard(mutex);
    if (std::this_thread::get_id() == caller) {
      ++on_caller;
    } else {
      workers.insert(std::this_thread::get_id());
    }
  });
  return {static_cast<double>(workers.size()), static_cast<double>(on_caller)};
}

std::vector<std::vector<double>> nested_parallel_for(double outer, double inner,
                                                     std::vector<double> failing) {
  const std::size_t outer_count = item_count(outer);
  const std::size_t inner_count = item_count(inner);
  std::vector<std::vector<double>> rows(outer_count);
  parallel::parallel_for(outer_count, [&](std::size_t i) {
    std::vector<double> row(inner_count);
    parallel::parallel_for(inner_count, [&](std::size_t j) {
      const std::size_t flat = i * inner_count + j;
      if (listed(failing, flat))
        obrivane::parallel::fail_internal("element " + std::to_string(flat) + " failed");
      row[j] = static_cast<double>(flat);
    });
    rows[i] = std::move(row);
  });
  return rows;
}

PyObject* pool_size_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr module::FunctionDescription description{"pool_size", {}};
  return module::call_entry<&pool_size_for_python>(description, args, nargs, kwnames);
}

PyObject* configured_pool_size_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr module::FunctionDescription description{"configured_pool_size", {}};
  return module::call_entry<&configured_pool_size_for_python>(description, args, nargs, kwnames);
}

PyObject* probe_parallel_for_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"n", "failing", "seconds"};
  static constexpr module::FunctionDescription description{"probe_parallel_for", parameters};
  return module::call_entry<&probe_parallel_for>(description, args, nargs, kwnames);
}

PyObject* probe_evaluations_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr module::FunctionDescription description{"probe_evaluations", {}};
  return module::call_entry<&probe_evaluations>(description, args, nargs, kwnames);
}

PyObject* probe_threads_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"n", "seconds"};
  static constexpr module::FunctionDescription description{"probe_threads", parameters};
  return module::call_entry<&probe_threads>(description, args, nargs, kwnames);
}

PyObject* nested_parallel_for_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* parameters[] = {"outer", "inner", "failing"};
  static constexpr module::FunctionDescription description{"nested_parallel_for", parameters};
  return module::call_entry<&nested_parallel_for>(description, args, nargs, kwnames);
}

// The text of a str or bytes object as bytes (a str is taken as UTF-8); nullptr with an
// exception set otherwise.
PyObject* as_bytes(PyObject* text) {
  if (PyUnicode_Check(text)) return PyUnicode_AsUTF8String(text);
  if (PyBytes_Check(text)) {
    Py_INCREF(text);
    return text;
  }
  PyErr_SetString(PyExc_TypeError, "expected str or bytes");
  return nullptr;
}

PyObject* parse_thread_count_entry(PyObject*, PyObject* text) {
  PyObject* bytes = as_bytes(text);
  if (bytes == nullptr) return nullptr;
  const std::string value(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
  Py_DECREF(bytes);
  // An embedded NUL cannot occur in an environment variable; the C text would end there.
  if (value.find('\0') != std::string::npos) {
    PyErr_SetString(PyExc_ValueError, "embedded NUL");
    return nullptr;
  }
  const auto parsed = parallel::parse_thread_count(value.c_str());
  if (!parsed) Py_RETURN_NONE;
  return PyLong_FromUnsignedLongLong(*parsed);
}

PyObject* cgroup_cpu_quota_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 3) {
    PyErr_SetString(PyExc_TypeError, "cgroup_cpu_quota() takes 3 paths");
    return nullptr;
  }
  parallel::platform::CgroupFiles files;
  std::string* const targets[] = {&files.proc_self_cgroup, &files.proc_self_mountinfo, &files.cgroup2_root};
  for (Py_ssize_t i = 0; i < 3; ++i) {
    const char* path = PyUnicode_AsUTF8(args[i]);
    if (path == nullptr) return nullptr;
    *targets[i] = path;
  }
  try {
    const auto quota = parallel::platform::cgroup_cpu_quota(files);
    if (!quota) Py_RETURN_NONE;
    return PyLong_FromSize_t(*quota);
  } catch (...) {
    module::raise_caught_failure();
    return nullptr;
  }
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
    OBRIVANE_FASTCALL_METHOD(pool_size, pool_size_entry, "pool_size()\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(configured_pool_size, configured_pool_size_entry,
                             "configured_pool_size()\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(probe_parallel_for, probe_parallel_for_entry,
                             "probe_parallel_for(n, failing, seconds)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(probe_evaluations, probe_evaluations_entry, "probe_evaluations()\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(probe_threads, probe_threads_entry, "probe_threads(n, seconds)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(nested_parallel_for, nested_parallel_for_entry,
                             "nested_parallel_for(outer, inner, failing)\n--\n\n"),
    {"parse_thread_count", parse_thread_count_entry, METH_O, "parse_thread_count(text, /)\n--\n\n"},
    {"cgroup_cpu_quota", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&cgroup_cpu_quota_entry)),
     METH_FASTCALL, "cgroup_cpu_quota(proc_self_cgroup, proc_self_mountinfo, cgroup2_root, /)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};
