// The process-wide fork-join worker pool.
//
// Workers keep their pending work in per-worker queues (short vectors, reserved once and guarded
// by a mutex): a worker pushes the second half of a split at the back of its own queue and runs
// the first half; idle workers steal from the front, the oldest and largest pieces. A
// worker that must wait for a stolen half helps with other pending work meanwhile, so nested
// parallel work never deadlocks. Idle workers sleep, each on its own condition variable: new work
// wakes one of them, a finished job only the worker waiting for it (README.md beside this file
// sets out the protocol). The pool is created on first use, never shut down, and recreated in a
// child process after fork().
#pragma once

#include <cstddef>

namespace obrivane::parallel {

// A type-erased piece of work. `migrated` tells the piece whether it runs on a different thread
// from the one that created it (it was stolen by an idle worker, or handed to the pool by a
// thread outside it).
struct PoolTask {
  void* context;
  void (*run)(void* context, bool migrated);
};

// The number of workers, creating the pool if it does not exist yet. A failure to create it is
// an internal failure ("The global thread pool has not been initialized.: ...").
std::size_t pool_size();

// Whether the calling thread is one of the pool's workers.
bool on_pool_worker() noexcept;

// From a thread outside the pool: runs `task` on a worker (as migrated) and blocks until it is
// done. From a worker: runs it right here (not migrated). An exception thrown by the task is
// rethrown in the caller.
void run_in_pool(PoolTask task);

// On a worker: runs `first` here (with the given migration flag) while `second` is offered to
// idle workers; runs `second` here too if nobody took it, otherwise helps with other work until
// it is done. Both always run to completion; if either throws, the exception of `first` wins
// and is rethrown after both have finished.
void join(PoolTask first, bool first_migrated, PoolTask second);

}  // namespace obrivane::parallel
