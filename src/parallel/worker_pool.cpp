#include "parallel/worker_pool.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "parallel/cancellation.hpp"
#include "parallel/cpu_relax.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/platform/threads.hpp"
#include "parallel/pool_size.hpp"
#include "parallel/wakeup_count.hpp"

namespace obrivane::parallel {
namespace {

constexpr std::size_t worker_stack_bytes = 2 * 1024 * 1024;

// Waking a sleeping thread costs tens of microseconds on a virtual machine, more than a small
// map takes. So a worker that runs out of work keeps looking for a while (spinning for
// worker_spin, then yielding the processor yield_rounds times) before it sleeps, and back-to-back
// maps find it awake. A thread outside the pool that waits for a map spins only briefly before it
// blocks: long enough that a small map hands its result back without a wake-up, short enough
// that it takes little from the very workers it waits for when the machine has no processor to
// spare.
constexpr std::chrono::microseconds worker_spin{20};
constexpr std::chrono::microseconds waiter_spin{30};
constexpr int yield_rounds = 16;

// Spins until ready() holds or `duration` has passed; returns ready().
template <class Ready>
bool spin_until(std::chrono::microseconds duration, Ready ready) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (!ready()) {
    for (int i = 0; i < 32; ++i) cpu_relax();
    if (std::chrono::steady_clock::now() >= deadline) return ready();
  }
  return true;
}

// A failure in the pool's own bookkeeping (never in the work it runs) leaves no consistent state
// to report from.
[[noreturn]] void abort_on_scheduling_failure() noexcept {
  std::fputs("Rayon: detected unexpected panic; aborting\n", stderr);
  std::abort();
}

// Wakes a thread outside the pool that waits for its work to be done.
class BlockingLatch {
 public:
  void open() {
    // Notify under the lock: the waiter may destroy the latch as soon as it can see it open.
    std::lock_guard<std::mutex> guard(mutex_);
    open_.store(true, std::memory_order_release);
    opened_.notify_all();
  }

  // Blocks until the latch is open. A thread that started a call with an interruption check
  // wakes every poll interval to consult it (cancelling the token if asked to stop) and goes on
  // waiting: the work it waits for lives in its frame.
  void wait() {
    const auto is_open = [this] { return open_.load(std::memory_order_acquire); };
    // A small map is done within a few microseconds, sooner than a sleeping thread wakes up.
    spin_until(waiter_spin, is_open);
    CancellationToken* const token = owns_current_token() ? current_token() : nullptr;
    // Taken even when the spin saw the latch open, so that the opener has left the lock (and
    // the notification) before the latch can be destroyed.
    std::unique_lock<std::mutex> lock(mutex_);
    while (!is_open()) {
      if (token == nullptr) {
        opened_.wait(lock);
      } else if (opened_.wait_for(lock, poll_interval) == std::cv_status::timeout) {
        lock.unlock();
        token->poll_if_due();
        lock.lock();
        continue;
      }
      count_wakeup();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  std::atomic<bool> open_{false};
};

// Cache lines are 64 bytes on the processors this runs on; state written by one thread and read
// by others gets a line of its own, so that a worker pushing to its queue does not slow down a
// neighbour polling the counters.
constexpr std::size_t cache_line = 64;

// Runs a task and hands back what it threw (nothing on success). Every way a task runs (on a
// worker, taken back by its owner, in the sequential join) goes through here and through
// rethrow_first, so the failure rules are written once.
std::exception_ptr run_task(PoolTask task, bool migrated) noexcept {
  try {
    task.run(task.context, migrated);
    return nullptr;
  } catch (...) {
    return std::current_exception();
  }
}

// Both halves of a join have run: the failure of the first half wins.
void rethrow_first(const std::exception_ptr& first, const std::exception_ptr& second) {
  if (first) std::rethrow_exception(first);
  if (second) std::rethrow_exception(second);
}

// A piece of work waiting in a queue. It lives in the frame of the thread that waits for it
// (its owner), which reads `failure` only after `done` is set (or the blocking latch is open).
struct Job {
  Job(PoolTask job_task, std::size_t job_owner, BlockingLatch* latch = nullptr)
      : task(job_task), owner(job_owner), blocking(latch), token(current_token()) {}

  PoolTask task;
  // The worker that pushed the job and waits for it (unused for a job with a blocking latch).
  std::size_t owner;
  BlockingLatch* blocking;
  // The call this job works for, adopted by whichever thread runs it.
  CancellationToken* token;
  std::exception_ptr failure;
  std::atomic<bool> done{false};
};

// One worker's queue and its place to sleep. The owner pushes and pops at the back of `jobs`,
// thieves take the front; both under `mutex`. A sleeping worker waits on `wake` under
// `sleep_mutex` while `asleep` is set; whoever clears `asleep` notifies it.
struct alignas(cache_line) Worker {
  std::mutex mutex;
  std::vector<Job*> jobs;
  std::uint64_t victim_state = 0;  // the owner's own random sequence for picking victims

  alignas(cache_line) std::mutex sleep_mutex;
  std::condition_variable wake;
  std::atomic<bool> asleep{false};
};

class Pool {
 public:
  explicit Pool(std::size_t size) : size_(size), workers_(std::make_unique<Worker[]>(size)) {
    for (std::size_t i = 0; i < size_; ++i) {
      workers_[i].jobs.reserve(64);
      workers_[i].victim_state = 0x9E3779B97F4A7C15u * (i + 1);
    }
  }

  std::size_t size() const noexcept { return size_; }
  bool runs_inline() const noexcept { return runs_inline_; }

  // Starts the worker threads; returns 0, or the error of the first thread that could not be
  // started (threads already started are told to leave).
  int start(std::size_t& started);
  // Called by each worker once its start-up is over.
  void entered() noexcept { entered_.fetch_add(1, std::memory_order_release); }
  // Waits until every worker started has entered its loop.
  void wait_until_entered() const noexcept {
    while (entered_.load(std::memory_order_acquire) < started_) std::this_thread::yield();
  }
  void run_inline_only() noexcept { runs_inline_ = true; }
  void dismiss();

  void inject(Job& job);
  void join(std::size_t self, PoolTask first, bool first_migrated, PoolTask second);
  void work_until(std::size_t self, const std::atomic<bool>* done);

 private:
  Job* find_work(std::size_t self, bool& migrated);
  std::size_t first_victim(std::size_t self) noexcept;
  void push_local(std::size_t self, Job& job);
  bool take_back(std::size_t self, Job& job);
  void execute(Job& job, bool migrated) noexcept;
  void sleep(std::size_t self, const std::atomic<bool>* done);
  bool wake(std::size_t index);
  void wake_one_idle();

  const std::size_t size_;
  std::unique_ptr<Worker[]> workers_;
  bool runs_inline_ = false;

  alignas(cache_line) std::mutex injector_mutex_;
  std::deque<Job*> injected_;

  // Jobs waiting in any queue: raised after a push, lowered after a pop, both under the queue's
  // lock. Read by workers about to sleep and (as a hint) by spinning ones.
  alignas(cache_line) std::atomic<std::size_t> pending_{0};
  // Workers that are asleep or about to check one last time before sleeping.
  alignas(cache_line) std::atomic<std::size_t> sleepers_{0};
  // Where the search for an idle worker to wake starts, so that wake-ups spread over the pool.
  alignas(cache_line) std::atomic<std::size_t> next_wake_{0};
  std::atomic<bool> dismissed_{false};
  // Workers started, and those past their start-up.
  std::size_t started_ = 0;
  alignas(cache_line) std::atomic<std::size_t> entered_{0};
};

thread_local Pool* current_pool = nullptr;
thread_local std::size_t current_index = 0;

struct WorkerStart {
  Pool* pool;
  std::size_t index;
};

void worker_main(void* argument) noexcept {
  const WorkerStart start = *static_cast<WorkerStart*>(argument);
  delete static_cast<WorkerStart*>(argument);
  current_pool = start.pool;
  current_index = start.index;
  start.pool->entered();
  try {
    start.pool->work_until(start.index, nullptr);
  } catch (...) {
    abort_on_scheduling_failure();
  }
}

int Pool::start(std::size_t& started) {
  int error = 0;
  for (started = 0; started < size_; ++started) {
    auto* start = new WorkerStart{this, started};
    error = platform::start_detached_thread(worker_main, start, worker_stack_bytes);
    if (error != 0) {
      delete start;
      break;
    }
  }
  started_ = started;
  return error;
}

void Pool::dismiss() {
  // Sequentially consistent, pairing with the sleeper's last look (see sleep()).
  dismissed_.store(true, std::memory_order_seq_cst);
  for (std::size_t i = 0; i < size_; ++i) wake(i);
}

// Wakes worker `index` if it is asleep; true if it was. Clearing `asleep` under the sleeper's
// lock means the sleeper is either still before its wait (and will see the flag clear) or in
// it (and gets the notification).
bool Pool::wake(std::size_t index) {
  Worker& worker = workers_[index];
  std::lock_guard<std::mutex> guard(worker.sleep_mutex);
  if (!worker.asleep.load(std::memory_order_relaxed)) return false;
  worker.asleep.store(false, std::memory_order_relaxed);
  worker.wake.notify_one();
  return true;
}

// New work appeared: wakes one sleeping worker, if any. The search starts at a rotating place.
void Pool::wake_one_idle() {
  // Sequentially consistent, after the pusher's increment of pending_: see sleep().
  if (sleepers_.load(std::memory_order_seq_cst) == 0) return;
  const std::size_t start = next_wake_.fetch_add(1, std::memory_order_relaxed);
  for (std::size_t k = 0; k < size_; ++k) {
    const std::size_t index = (start + k) % size_;
    if (workers_[index].asleep.load(std::memory_order_seq_cst) && wake(index)) return;
  }
}

void Pool::execute(Job& job, bool migrated) noexcept {
  BlockingLatch* const blocking = job.blocking;
  const std::size_t owner = job.owner;
  std::exception_ptr failure;
  {
    const AdoptedToken adopted(job.token);
    failure = run_task(job.task, migrated);
  }
  job.failure = std::move(failure);
  if (blocking != nullptr) {
    blocking->open();
    return;
  }
  // The owner may return (and the job vanish) as soon as it sees `done`: nothing of the job is
  // touched after this store. Sequentially consistent, pairing with the owner's announcement
  // that it sleeps: either it sees `done` in its last look, or we see it asleep and wake it.
  job.done.store(true, std::memory_order_seq_cst);
  if (workers_[owner].asleep.load(std::memory_order_seq_cst)) wake(owner);
}

void Pool::push_local(std::size_t self, Job& job) {
  {
    std::lock_guard<std::mutex> guard(workers_[self].mutex);
    workers_[self].jobs.push_back(&job);
    pending_.fetch_add(1, std::memory_order_seq_cst);
  }
  wake_one_idle();
}

bool Pool::take_back(std::size_t self, Job& job) {
  std::lock_guard<std::mutex> guard(workers_[self].mutex);
  std::vector<Job*>& jobs = workers_[self].jobs;
  if (jobs.empty() || jobs.back() != &job) return false;
  jobs.pop_back();
  pending_.fetch_sub(1, std::memory_order_relaxed);
  return true;
}

void Pool::inject(Job& job) {
  try {
    {
      std::lock_guard<std::mutex> guard(injector_mutex_);
      injected_.push_back(&job);
      pending_.fetch_add(1, std::memory_order_seq_cst);
    }
    wake_one_idle();
  } catch (...) {
    abort_on_scheduling_failure();
  }
}

// A random victim to start stealing at (xorshift64 on the worker's own state), so that thieves
// do not all line up at the same neighbour.
std::size_t Pool::first_victim(std::size_t self) noexcept {
  std::uint64_t& state = workers_[self].victim_state;
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return static_cast<std::size_t>(state % size_);
}

Job* Pool::find_work(std::size_t self, bool& migrated) {
  // A hint only: the queues are read under their locks below.
  if (pending_.load(std::memory_order_relaxed) == 0) return nullptr;
  {
    std::lock_guard<std::mutex> guard(workers_[self].mutex);
    std::vector<Job*>& jobs = workers_[self].jobs;
    if (!jobs.empty()) {
      Job* job = jobs.back();
      jobs.pop_back();
      pending_.fetch_sub(1, std::memory_order_relaxed);
      migrated = false;
      return job;
    }
  }
  const std::size_t start = first_victim(self);
  for (std::size_t k = 0; k < size_; ++k) {
    const std::size_t index = (start + k) % size_;
    if (index == self) continue;
    Worker& victim = workers_[index];
    std::lock_guard<std::mutex> guard(victim.mutex);
    if (!victim.jobs.empty()) {
      Job* job = victim.jobs.front();
      victim.jobs.erase(victim.jobs.begin());
      pending_.fetch_sub(1, std::memory_order_relaxed);
      migrated = true;
      return job;
    }
  }
  std::lock_guard<std::mutex> guard(injector_mutex_);
  if (injected_.empty()) return nullptr;
  Job* job = injected_.front();
  injected_.pop_front();
  pending_.fetch_sub(1, std::memory_order_relaxed);
  migrated = true;
  return job;
}

// Sleeps until woken, unless a last look (after announcing the sleep) finds work, `done`
// set, or the pool dismissed. See README.md beside this file for why no wake-up is lost.
void Pool::sleep(std::size_t self, const std::atomic<bool>* done) {
  Worker& worker = workers_[self];
  std::unique_lock<std::mutex> lock(worker.sleep_mutex);
  worker.asleep.store(true, std::memory_order_seq_cst);
  sleepers_.fetch_add(1, std::memory_order_seq_cst);
  const bool stay_awake = pending_.load(std::memory_order_seq_cst) != 0 ||
                          (done != nullptr && done->load(std::memory_order_seq_cst)) ||
                          dismissed_.load(std::memory_order_seq_cst);
  if (stay_awake) {
    worker.asleep.store(false, std::memory_order_relaxed);
  } else {
    while (worker.asleep.load(std::memory_order_relaxed)) {
      worker.wake.wait(lock);
      count_wakeup();
    }
  }
  sleepers_.fetch_sub(1, std::memory_order_relaxed);
}

// Runs pending work until `done` is set; a worker's main loop passes no flag and never returns
// (unless the pool is dismissed).
void Pool::work_until(std::size_t self, const std::atomic<bool>* done) {
  // Acquire on `done`: the job's results and failure, written before it was set, are visible.
  while (done == nullptr || !done->load(std::memory_order_acquire)) {
    if (dismissed_.load(std::memory_order_relaxed)) return;
    bool migrated = false;
    if (Job* job = find_work(self, migrated)) {
      execute(*job, migrated);
      continue;
    }
    const auto ready = [this, done] {
      return pending_.load(std::memory_order_relaxed) != 0 ||
             (done != nullptr && done->load(std::memory_order_acquire));
    };
    if (spin_until(worker_spin, ready)) continue;
    bool found = false;
    for (int round = 0; round < yield_rounds && !found; ++round) {
      std::this_thread::yield();
      found = ready();
    }
    if (!found) sleep(self, done);
  }
}

void Pool::join(std::size_t self, PoolTask first, bool first_migrated, PoolTask second) {
  Job second_job(second, self);
  try {
    push_local(self, second_job);
  } catch (...) {
    abort_on_scheduling_failure();
  }
  const std::exception_ptr first_failure = run_task(first, first_migrated);
  try {
    if (take_back(self, second_job)) {
      second_job.failure = run_task(second, false);
    } else {
      work_until(self, &second_job.done);
    }
  } catch (...) {
    abort_on_scheduling_failure();
  }
  rethrow_first(first_failure, second_job.failure);
}

// The process-wide pool. The creation lock is held across fork() so that a child never sees a
// half-built pool; the child forgets the parent's pool (its workers do not exist there) and
// builds its own on first use. Old pools are deliberately never freed: their threads may still
// use them, and in a child their locks may be held by threads that no longer exist.
std::atomic<Pool*> global_pool{nullptr};
std::mutex creation_mutex;
const std::string* creation_failure = nullptr;
bool fork_handlers_installed = false;

// A worker that is still starting allocates (its start record here, and a sanitizer's records of
// the thread): a fork at that moment could leave an allocator's lock held in the child by a thread
// that does not exist there, and the child's first allocation of that size would wait forever.
// The C library's allocator is locked across fork, but not every allocator is, so a fork waits
// for the workers' start-up to end, which takes microseconds.
void before_fork() {
  creation_mutex.lock();
  if (const Pool* pool = global_pool.load(std::memory_order_acquire)) pool->wait_until_entered();
}
void after_fork_in_parent() { creation_mutex.unlock(); }
void after_fork_in_child() {
  // The forking thread may have been a worker; in the child it is the only thread and belongs
  // to no pool.
  current_pool = nullptr;
  current_index = 0;
  global_pool.store(nullptr, std::memory_order_relaxed);  // the child has one thread
  creation_failure = nullptr;
  creation_mutex.unlock();
}

std::string describe_start_failure(int error, std::size_t started, std::size_t size) {
  return "The global thread pool has not been initialized.: could not start worker thread " +
         std::to_string(started + 1) + " of " + std::to_string(size) + ": " + std::strerror(error) +
         " (error " + std::to_string(error) + ")";
}

Pool& create_pool() {
  std::unique_lock<std::mutex> lock(creation_mutex);
  if (Pool* pool = global_pool.load(std::memory_order_acquire)) return *pool;
  if (creation_failure != nullptr) fail_internal(*creation_failure);
  if (!fork_handlers_installed) {
    if (const int error =
            platform::install_fork_handlers(before_fork, after_fork_in_parent, after_fork_in_child);
        error != 0) {
      fail_internal("The global thread pool has not been initialized.: cannot install fork handlers: " +
                    std::string(std::strerror(error)));
    }
    fork_handlers_installed = true;
  }
  auto* pool = new Pool(configured_pool_size());
  std::size_t started = 0;
  const int error = pool->start(started);
  if (error == 0) {
    global_pool.store(pool, std::memory_order_release);
    return *pool;
  }
  if ((error == ENOSYS || error == ENOTSUP) && started == 0) {
    // No threads on this platform: the pool is the calling thread alone.
    pool->run_inline_only();
    global_pool.store(pool, std::memory_order_release);
    return *pool;
  }
  pool->dismiss();
  creation_failure = new std::string(describe_start_failure(error, started, pool->size()));
  fail_internal(*creation_failure);
}

Pool& the_pool() {
  if (Pool* pool = global_pool.load(std::memory_order_acquire)) return *pool;
  return create_pool();
}

// Runs both tasks one after the other on this thread, by the same failure rule as a join on a
// worker: both run, the first task's failure wins.
void join_sequentially(PoolTask first, bool first_migrated, PoolTask second) {
  const std::exception_ptr first_failure = run_task(first, first_migrated);
  const std::exception_ptr second_failure = run_task(second, false);
  rethrow_first(first_failure, second_failure);
}

}  // namespace

std::size_t pool_size() { return the_pool().size(); }

bool on_pool_worker() noexcept { return current_pool != nullptr; }

void run_in_pool(PoolTask task) {
  Pool& pool = the_pool();
  if (current_pool != nullptr) {
    task.run(task.context, false);
    return;
  }
  if (pool.runs_inline()) {
    task.run(task.context, true);
    return;
  }
  BlockingLatch latch;
  Job job(task, 0, &latch);
  pool.inject(job);
  latch.wait();
  if (job.failure) std::rethrow_exception(job.failure);
  // Cancelled after the last interruption point of the work: it is complete, but the call that
  // asked to stop gets no result.
  if (job.token != nullptr && job.token->cancelled()) throw Interrupted();
}

void join(PoolTask first, bool first_migrated, PoolTask second) {
  if (current_pool == nullptr) {
    join_sequentially(first, first_migrated, second);
    return;
  }
  current_pool->join(current_index, first, first_migrated, second);
}

}  // namespace obrivane::parallel
