#include "module/fspl/elementwise_execution.hpp"

#include <Python.h>

#include <algorithm>
#include <exception>

#include "models/parallel/cancellation.hpp"
#include "models/parallel/parallel_map.hpp"
#include "module/call_entry.hpp"
#include "module/fspl/lock_retaking_signal_watch.hpp"

namespace obrivane::module::fspl {
namespace {

// Below this many elements a loop that holds the lock keeps it and runs on the calling thread:
// giving the lock up and handing work to the pool would cost more than the work.
constexpr std::size_t unlocked_loop_threshold = detail::unlocked_call_threshold;

void run_chunks_on_pool(std::size_t n, void (*chunk)(void*, std::size_t, std::size_t), void* context) {
  const std::size_t chunks = (n + elements_per_chunk - 1) / elements_per_chunk;
  parallel::parallel_for(chunks, [&](std::size_t k) {
    const std::size_t begin = k * elements_per_chunk;
    chunk(context, begin, std::min(n, begin + elements_per_chunk));
  });
}

}  // namespace

int run_in_chunks(std::size_t n, void (*chunk)(void*, std::size_t, std::size_t), void* context) noexcept {
  const bool holds_lock = PyGILState_Check() != 0;
  if (holds_lock && n < unlocked_loop_threshold) {
    try {
      chunk(context, 0, n);
      return 0;
    } catch (...) {
      raise_caught_failure();
      return -1;
    }
  }
  PyThreadState* const saved = holds_lock ? PyEval_SaveThread() : nullptr;
  LockRetakingSignalWatch signals;
  std::exception_ptr thrown;
  try {
    parallel::CancellationToken token(signals.check());
    const parallel::CancellationScope scope(token);
    run_chunks_on_pool(n, chunk, context);
  } catch (...) {
    thrown = std::current_exception();
  }
  if (!signals.caught() && !thrown) {
    if (holds_lock) PyEval_RestoreThread(saved);
    return 0;
  }
  // Failures are raised with the lock held: the lock this loop gave up, or a hold of NumPy's
  // released lock for as long as it takes to set the exception.
  if (holds_lock) PyEval_RestoreThread(saved);
  const InterpreterLockHold hold;
  if (signals.caught()) {
    signals.raise();
  } else {
    try {
      std::rethrow_exception(thrown);
    } catch (...) {
      raise_caught_failure();
    }
  }
  return -1;
}

}  // namespace obrivane::module::fspl
