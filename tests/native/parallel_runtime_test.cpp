// Native tests of the parallel runtime: every index of a parallel map runs exactly once (also
// nested, from many outside threads at once), failures come back by the first-failure rule,
// join's sequential fallback follows the same rule, cancellation stops the work, and a forked
// child gets a fresh pool; workers run on 2 MiB stacks. The pool size comes from
// RAYON_NUM_THREADS, so the test driver runs this program for several sizes. The same program,
// built with ThreadSanitizer, is the race check: `--no-fork` leaves out the fork cases (the
// sanitizer does not support threads started after a multi-threaded fork) and a scale argument
// shortens the hammering.
//
//   parallel_runtime_test [--no-fork] [scale]
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "check.hpp"
#include "parallel/cancellation.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/pool_size.hpp"
#include "parallel/worker_pool.hpp"

namespace parallel = obrivane::parallel;

namespace {

int scale = 4;

// Runs parallel_for over n items and checks that each index ran exactly once.
void check_exactly_once(std::size_t n) {
  std::unique_ptr<std::atomic<int>[]> runs(new std::atomic<int>[n]);
  for (std::size_t i = 0; i < n; ++i) runs[i].store(0, std::memory_order_relaxed);
  parallel::parallel_for(n, [&](std::size_t i) { runs[i].fetch_add(1, std::memory_order_relaxed); });
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < n; ++i) wrong += runs[i].load(std::memory_order_relaxed) != 1;
  CHECK(wrong == 0);
}

void test_pool_size_follows_the_environment() {
  const char* requested = std::getenv("RAYON_NUM_THREADS");
  const std::size_t size = parallel::pool_size();
  CHECK(size >= 1);
  if (requested != nullptr && std::atoi(requested) > 0)
    CHECK(size == static_cast<std::size_t>(std::atoi(requested)));
  CHECK(!parallel::on_pool_worker());
}

// The stack size of the thread that runs a task handed to the pool (a worker's, unless the pool
// is the calling thread alone).
void record_stack_size(void* context, bool) {
  pthread_attr_t attributes;
  std::size_t bytes = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    pthread_attr_getstacksize(&attributes, &bytes);
    pthread_attr_destroy(&attributes);
  }
  *static_cast<std::size_t*>(context) = bytes;
}

void test_workers_have_2_mib_stacks() {
  std::size_t bytes = 0;
  parallel::run_in_pool(parallel::PoolTask{&bytes, record_stack_size});
  CHECK(bytes == 2 * 1024 * 1024);
}

void test_every_index_runs_exactly_once() {
  for (std::size_t n = 0; n <= 130; ++n) check_exactly_once(n);
  for (const std::size_t n : {1000u, 4097u, 65536u}) check_exactly_once(n);
}

void test_results_land_in_their_slots() {
  const std::size_t n = 10000;
  std::vector<double> out(n, -1.0);
  parallel::parallel_for(n, [&](std::size_t i) { out[i] = static_cast<double>(i) * 0.5; });
  bool in_place = true;
  for (std::size_t i = 0; i < n; ++i) in_place = in_place && out[i] == static_cast<double>(i) * 0.5;
  CHECK(in_place);
}

void test_nested_maps() {
  const std::size_t outer = 37;
  const std::size_t middle = 11;
  const std::size_t inner = 23;
  std::unique_ptr<std::atomic<int>[]> runs(new std::atomic<int>[outer * middle * inner]);
  for (std::size_t k = 0; k < outer * middle * inner; ++k) runs[k].store(0);
  parallel::parallel_for(outer, [&](std::size_t i) {
    parallel::parallel_for(middle, [&](std::size_t j) {
      parallel::parallel_for(inner, [&](std::size_t k) { runs[(i * middle + j) * inner + k].fetch_add(1); });
    });
  });
  std::size_t wrong = 0;
  for (std::size_t k = 0; k < outer * middle * inner; ++k) wrong += runs[k].load() != 1;
  CHECK(wrong == 0);
}

std::string failure_message(std::size_t i) { return "item " + std::to_string(i) + " failed"; }

// The failure that comes back is the one of the lowest failing index: it lies in the first
// half of every split above it that also holds a failing index, and comes first in its piece.
void test_the_lowest_failure_wins(std::mt19937& random) {
  for (int round = 0; round < 20 * scale; ++round) {
    const std::size_t n = 1 + random() % 3000;
    std::vector<char> failing(n, 0);
    const int count = 1 + static_cast<int>(random() % 5);
    for (int k = 0; k < count; ++k) failing[random() % n] = 1;
    const std::size_t lowest =
        static_cast<std::size_t>(std::find(failing.begin(), failing.end(), 1) - failing.begin());
    std::string caught;
    try {
      parallel::parallel_for(n, [&](std::size_t i) {
        if (failing[i]) throw parallel::InternalFailure(failure_message(i));
      });
    } catch (const parallel::InternalFailure& failure) {
      caught = failure.what();
    }
    CHECK(caught == failure_message(lowest));
  }
  // Nested: the failure travels through both levels.
  std::string caught;
  try {
    parallel::parallel_for(50, [&](std::size_t i) {
      parallel::parallel_for(50, [&](std::size_t j) {
        if (i * 50 + j == 1234 || i * 50 + j == 2100)
          throw parallel::InternalFailure(failure_message(i * 50 + j));
      });
    });
  } catch (const parallel::InternalFailure& failure) {
    caught = failure.what();
  }
  CHECK(caught == failure_message(1234));
  check_exactly_once(1000);  // the pool is whole afterwards
}

// From outside the pool, join runs both tasks here, one after the other, with the same rule as
// on a worker: both always run, the first task's failure wins.
void test_sequential_join_follows_the_failure_rule() {
  struct Task {
    bool throws;
    const char* message;
    int runs = 0;
    static void run(void* context, bool) {
      auto* task = static_cast<Task*>(context);
      ++task->runs;
      if (task->throws) throw parallel::InternalFailure(task->message);
    }
  };
  for (const bool first_throws : {false, true}) {
    for (const bool second_throws : {false, true}) {
      for (const bool on_worker : {false, true}) {
        Task first{first_throws, "first"};
        Task second{second_throws, "second"};
        std::string caught;
        const auto run_join = [&] {
          try {
            parallel::join({&first, &Task::run}, false, {&second, &Task::run});
          } catch (const parallel::InternalFailure& failure) {
            caught = failure.what();
          }
        };
        if (on_worker) {
          parallel::parallel_for(2, [&](std::size_t i) {
            if (i == 0) run_join();
          });
        } else {
          run_join();
        }
        CHECK(first.runs == 1);
        CHECK(second.runs == 1);
        CHECK(caught == (first_throws ? "first" : second_throws ? "second" : ""));
      }
    }
  }
}

void test_many_outside_threads() {
  const int thread_count = 16;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5 * scale; ++round) {
        const std::size_t n = 100 + static_cast<std::size_t>(t * 37 + round * 11) % 900;
        std::vector<std::size_t> out(n, 0);
        try {
          parallel::parallel_for(n, [&](std::size_t i) {
            if (round % 7 == 3 && i == n / 3) throw parallel::InternalFailure("planned");
            out[i] = i + 1;
          });
          for (std::size_t i = 0; i < n; ++i) wrong += out[i] != i + 1;
        } catch (const parallel::InternalFailure& failure) {
          wrong += std::strcmp(failure.what(), "planned") != 0 || round % 7 != 3;
        }
        // A nested map from an outside thread, as the batched model does.
        std::atomic<std::size_t> sum{0};
        parallel::parallel_for(8, [&](std::size_t i) {
          parallel::parallel_for(16, [&](std::size_t j) { sum.fetch_add(i * 16 + j); });
        });
        wrong += sum.load() != 127 * 128 / 2;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  CHECK(wrong.load() == 0);
}

// A check that asks to stop after a few polls; the map stops between items, throws
// Interrupted, and the pool goes on working.
void test_cancellation() {
  struct StopAfter {
    std::atomic<int> polls{0};
    int limit;
    static bool stop_requested(void* context) {
      auto* self = static_cast<StopAfter*>(context);
      return self->polls.fetch_add(1) + 1 >= self->limit;
    }
  };
  // Items on the pool's workers wait until the check has been consulted, so each worker finishes
  // at most one item before the call is cancelled, however late the starting thread gets to its
  // first poll on a loaded machine; the starting thread polls before its own items.
  for (const bool nested : {false, true}) {
    StopAfter check{{0}, 1};
    parallel::CancellationToken token({&check, &StopAfter::stop_requested});
    std::atomic<std::size_t> evaluated{0};
    const std::size_t n = 2560;
    bool interrupted = false;
    const std::thread::id starter = std::this_thread::get_id();
    const auto item = [&](std::size_t) {
      evaluated.fetch_add(1);
      if (std::this_thread::get_id() == starter) return;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (check.polls.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    };
    try {
      const parallel::CancellationScope scope(token);
      if (nested) {
        parallel::parallel_for(n / 80, [&](std::size_t) { parallel::parallel_for(80, item); });
      } else {
        parallel::parallel_for(n, item);
      }
    } catch (const parallel::Interrupted&) {
      interrupted = true;
    }
    CHECK(interrupted);
    CHECK(token.cancelled());
    const std::size_t stopped_at = evaluated.load();
    CHECK(stopped_at <= parallel::pool_size() + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CHECK(evaluated.load() == stopped_at);  // nothing went on after the map returned
  }
  // A cancelled token stops sequential work at its interruption points too.
  parallel::CancellationToken token;
  token.cancel();
  bool interrupted = false;
  try {
    const parallel::CancellationScope scope(token);
    parallel::interruption_point();
  } catch (const parallel::Interrupted&) {
    interrupted = true;
  }
  CHECK(interrupted);
  parallel::interruption_point();  // outside the scope, nothing to stop
  check_exactly_once(5000);
}

// Waits for a child and tells whether it exited with status 0.
bool child_succeeded(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// In the child: a fresh pool of the same size, fully working; used with _exit so that nothing
// of the parent's runs at exit.
int child_checks(bool forked_on_worker) {
  if (parallel::on_pool_worker()) return 2;
  std::atomic<std::size_t> sum{0};
  parallel::parallel_for(1000, [&](std::size_t i) { sum.fetch_add(i); });
  if (sum.load() != 999 * 1000 / 2) return 3;
  std::atomic<std::size_t> nested{0};
  parallel::parallel_for(
      10, [&](std::size_t) { parallel::parallel_for(10, [&](std::size_t) { nested.fetch_add(1); }); });
  if (nested.load() != 100) return 4;
  return forked_on_worker && parallel::on_pool_worker() ? 5 : 0;
}

void test_fork() {
  check_exactly_once(100);  // the pool exists and its workers may be busy or asleep
  const pid_t child = fork();
  if (child == 0) _exit(child_checks(false));
  CHECK(child > 0 && child_succeeded(child));

  // Forked from inside a map, on a pool worker: the child is no worker of any pool.
  std::atomic<pid_t> worker_child{-1};
  parallel::parallel_for(64, [&](std::size_t i) {
    if (i == 63) {
      const pid_t pid = fork();
      if (pid == 0) _exit(child_checks(true));
      worker_child.store(pid);
    }
  });
  CHECK(worker_child.load() > 0 && child_succeeded(worker_child.load()));
  check_exactly_once(1000);
}

}  // namespace

int main(int argc, char** argv) {
  bool with_fork = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-fork") == 0) {
      with_fork = false;
    } else {
      scale = std::max(1, std::atoi(argv[i]));
    }
  }
  std::mt19937 random(20261208);
  test_pool_size_follows_the_environment();
  test_workers_have_2_mib_stacks();
  test_every_index_runs_exactly_once();
  test_results_land_in_their_slots();
  test_nested_maps();
  test_the_lowest_failure_wins(random);
  test_sequential_join_follows_the_failure_rule();
  test_many_outside_threads();
  test_cancellation();
  if (with_fork) test_fork();
  return native_test::exit_status("parallel_runtime_test");
}
