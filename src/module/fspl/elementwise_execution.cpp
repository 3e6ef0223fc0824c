#include "module/fspl/elementwise_execution.hpp"

#include <algorithm>
#include <exception>

#include "module/call_entry.hpp"
#include "module/forced_unwind.hpp"
#include "module/interpreter_exit.hpp"
#include "module/signal_watch.hpp"
#include "parallel/cancellation.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/worker_pool.hpp"

namespace obrivane::module::fspl {
namespace {

// Below this many elements a loop that holds the lock keeps it and runs on the calling thread:
// giving the lock up and handing work to the pool would cost more than the work.
constexpr std::size_t unlocked_loop_threshold = detail::unlocked_call_threshold;

void run_chunks_on_pool(std::size_t n, void (*chunk)(void*, std::size_t, std::size_t), void* context) {
  const std::size_t chunks = (n + elements_per_chunk - 1) / elements_per_chunk;
  const auto run_chunk = [&](std::size_t k) {
    const std::size_t begin = k * elements_per_chunk;
    chunk(context, begin, std::min(n, begin + elements_per_chunk));
  };
  // With a single worker nothing would run beside this thread: handing it the loop would only add
  // two thread switches (tens of microseconds, the work of a few hundred elements). The chunks run
  // here in order, the same chunks as on the pool, with the same interruption points.
  if (parallel::pool_size() <= 1) {
    for (std::size_t k = 0; k < chunks; ++k) {
      parallel::interruption_point();
      run_chunk(k);
    }
    return;
  }
  parallel::parallel_for(chunks, run_chunk);
}

}  // namespace

InterpreterLockHold::InterpreterLockHold() {
  if (PyGILState_Check() != 0) return;
  permit_.emplace();
  // The interpreter is exiting: this thread may not take the lock, and must not go back to the
  // ufunc machinery that would.
  if (!*permit_) park_thread_forever();
  state_ = PyGILState_Ensure();
}

InterpreterLockHold::~InterpreterLockHold() {
  if (permit_) PyGILState_Release(state_);
}

int run_in_chunks(std::size_t n, void (*chunk)(void*, std::size_t, std::size_t), void* context) {
  const bool holds_lock = PyGILState_Check() != 0;
  if (holds_lock && n < unlocked_loop_threshold) {
    try {
      chunk(context, 0, n);
      return 0;
    } catch (...) {
      if (handling_forced_unwind()) throw;
      raise_caught_failure();
      return -1;
    }
  }
  // Without the lock: the work sees only doubles in NumPy's buffers. Whatever it throws is
  // carried out and raised with the lock held; a signal handler's exception (Ctrl-C) wins.
  PyThreadState* const saved = holds_lock ? PyEval_SaveThread() : nullptr;
  SignalWatch signals;
  std::exception_ptr thrown;
  try {
    parallel::CancellationToken token(signals.check());
    const parallel::CancellationScope scope(token);
    run_chunks_on_pool(n, chunk, context);
  } catch (...) {
    if (handling_forced_unwind()) throw;
    thrown = std::current_exception();
  }
  if (holds_lock) restore_thread_or_park(saved);
  if (!signals.caught() && !thrown) return 0;
  const InterpreterLockHold hold;
  if (signals.caught()) {
    signals.raise();
    return -1;
  }
  try {
    std::rethrow_exception(thrown);
  } catch (...) {
    if (handling_forced_unwind()) throw;
    raise_caught_failure();
  }
  return -1;
}

}  // namespace obrivane::module::fspl
