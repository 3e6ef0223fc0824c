// Order-preserving parallel loops on the process-wide worker pool.
//
// A loop over [0, n) is split recursively in halves. Every range carries a split budget, which
// starts at the pool size N: a range that has moved to another thread (stolen by an idle worker,
// or handed to the pool by a thread outside it) resets its budget to max(N, budget / 2), any
// other range halves it and stops splitting at 0. So the number of pieces grows with the pool,
// not with n, and a busy pool splits no further than needed to keep every worker fed. A range of
// length 1 is never split. Each index is processed by exactly one piece, in increasing order
// within the piece, so whatever writes body(i) makes lands in slot i whatever the scheduling.
// Pieces stop between two items once the call they work for is cancelled (cancellation.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "parallel/cancellation.hpp"
#include "parallel/worker_pool.hpp"

namespace obrivane::parallel {

namespace detail {

template <class Body>
class RangeSplitter {
 public:
  RangeSplitter(Body& body, std::size_t pool_workers) : body_(body), pool_workers_(pool_workers) {}

  // Processes [begin, end) with the given budget; true `migrated` for a range that runs on a
  // different thread from the one that split it off.
  void process(std::size_t begin, std::size_t end, std::size_t budget, bool migrated) {
    if (!try_split(end - begin, budget, migrated)) {
      run_items(begin, end);
      return;
    }
    const std::size_t mid = begin + (end - begin) / 2;
    Piece first{this, begin, mid, budget};
    Piece second{this, mid, end, budget};
    join(first.task(), false, second.task());
  }

  // The items of one piece in increasing order, stopping between two items once the call is
  // cancelled. The thread that started the call also consults its interruption check there.
  void run_items(std::size_t begin, std::size_t end) {
    CancellationToken* const token = current_token();
    if (token == nullptr) {
      for (std::size_t i = begin; i < end; ++i) body_(i);
    } else if (owns_current_token()) {
      for (std::size_t i = begin; i < end; ++i) {
        interruption_point();
        body_(i);
      }
    } else {
      for (std::size_t i = begin; i < end; ++i) {
        if (token->cancelled()) throw Interrupted();
        body_(i);
      }
    }
  }

  // Decides whether to split a range of `length` and updates the budget the halves carry.
  bool try_split(std::size_t length, std::size_t& budget, bool migrated) const {
    if (length / 2 < 1) return false;
    if (migrated) {
      budget = std::max(pool_workers_, budget / 2);
      return true;
    }
    if (budget == 0) return false;
    budget /= 2;
    return true;
  }

  struct Piece {
    RangeSplitter* splitter;
    std::size_t begin;
    std::size_t end;
    std::size_t budget;

    static void run(void* context, bool migrated) {
      auto* piece = static_cast<Piece*>(context);
      piece->splitter->process(piece->begin, piece->end, piece->budget, migrated);
    }
    PoolTask task() { return PoolTask{this, &Piece::run}; }
  };

 private:
  Body& body_;
  const std::size_t pool_workers_;
};

}  // namespace detail

// Calls body(i) exactly once for every i in [0, n), on the worker pool, and returns when all are
// done. An exception thrown by body stops the piece it was thrown in; it is rethrown here once
// every piece running in parallel has finished, the one of the lowest-indexed half winning when
// several pieces fail; a cancelled call ends in Interrupted. Called from inside a body (on a
// worker), the loop runs on that worker with help from idle workers.
template <class Body>
void parallel_for(std::size_t n, Body&& body) {
  using Splitter = detail::RangeSplitter<std::remove_reference_t<Body>>;
  const std::size_t workers = pool_size();  // creates the pool, even for an empty loop
  Splitter splitter(body, workers);
  if (on_pool_worker()) {
    splitter.process(0, n, workers, false);
    return;
  }
  std::size_t budget = workers;
  if (!splitter.try_split(n, budget, false)) {
    splitter.run_items(0, n);
    return;
  }
  // Split here, then hand the whole fork to the pool: the first half starts on a worker that
  // took it from this thread, so it counts as migrated.
  struct Fork {
    typename Splitter::Piece first;
    typename Splitter::Piece second;
    static void run(void* context, bool migrated) {
      auto* fork = static_cast<Fork*>(context);
      join(fork->first.task(), migrated, fork->second.task());
    }
  };
  const std::size_t mid = n / 2;
  Fork fork{{&splitter, 0, mid, budget}, {&splitter, mid, n, budget}};
  run_in_pool(PoolTask{&fork, &Fork::run});
}

}  // namespace obrivane::parallel
