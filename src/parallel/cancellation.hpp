// Stopping a long call early: a cancellation token per call, shared by the thread that started
// the call and every worker that runs part of it, and interruption points between items.
//
// The runtime knows nothing of what asks a call to stop. The code that starts a call may give
// its token an interruption check, a callback that the runtime calls on the starting thread
// alone, every poll_interval at most: while that thread computes (at interruption points) or
// while it waits for the pool. When the check asks to stop, the token is cancelled; every
// thread working for the call then throws Interrupted at its next interruption point, the
// pieces already running finish or stop, and the failure travels back like any other.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>

namespace obrivane::parallel {

// How often the starting thread consults the interruption check at most.
inline constexpr std::chrono::milliseconds poll_interval{20};

// Thrown at an interruption point of a cancelled call.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "the call was interrupted"; }
};

// Asks whoever started the call whether it must stop; true means stop.
struct InterruptionCheck {
  void* context = nullptr;
  bool (*stop_requested)(void* context) = nullptr;
};

class CancellationToken {
 public:
  explicit CancellationToken(InterruptionCheck check = {}) noexcept : check_(check) {}
  CancellationToken(const CancellationToken&) = delete;
  CancellationToken& operator=(const CancellationToken&) = delete;

  // Relaxed: the flag only tells the workers to stop early; the results they wrote before are
  // published by the join that carries the failure back, never by this flag.
  [[nodiscard]] bool cancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }
  void cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }

  // On the starting thread: consults the check if poll_interval has passed since the last time,
  // cancelling the token when it asks to stop. True if the token is cancelled.
  bool poll_if_due();

 private:
  std::atomic<bool> cancelled_{false};
  const InterruptionCheck check_;
  std::chrono::steady_clock::time_point next_poll_{};  // touched by the starting thread only
};

// Makes `token` the current token of the calling thread, which starts the call and so owns its
// interruption check, for the lifetime of the scope.
class CancellationScope {
 public:
  explicit CancellationScope(CancellationToken& token) noexcept;
  ~CancellationScope();
  CancellationScope(const CancellationScope&) = delete;
  CancellationScope& operator=(const CancellationScope&) = delete;

 private:
  CancellationToken* outer_token_;
  bool outer_owner_;
};

// The token of the call the calling thread works for (null outside any call), and whether this
// thread started that call.
CancellationToken* current_token() noexcept;
bool owns_current_token() noexcept;

// Adopts a token for work done on behalf of a call on another thread (a pool worker running a
// piece), for the lifetime of the object; the thread does not own it.
class AdoptedToken {
 public:
  explicit AdoptedToken(CancellationToken* token) noexcept;
  ~AdoptedToken();
  AdoptedToken(const AdoptedToken&) = delete;
  AdoptedToken& operator=(const AdoptedToken&) = delete;

 private:
  CancellationToken* outer_token_;
  bool outer_owner_;
};

// Between two items of a long loop: throws Interrupted when the current call is cancelled; on
// the starting thread it also consults the interruption check when one is due.
void interruption_point();

}  // namespace obrivane::parallel
