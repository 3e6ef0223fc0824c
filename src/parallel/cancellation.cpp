#include "parallel/cancellation.hpp"

namespace obrivane::parallel {
namespace {

struct ThreadCall {
  CancellationToken* token = nullptr;
  bool owner = false;
  // Reading the clock costs about as much as a cheap item; the starting thread looks at it on
  // every clock_stride-th interruption point only.
  unsigned countdown = 1;
};

constexpr unsigned clock_stride = 8;

thread_local ThreadCall this_thread_call;

}  // namespace

bool CancellationToken::poll_if_due() {
  if (cancelled()) return true;
  if (check_.stop_requested == nullptr) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_poll_) return false;
  next_poll_ = now + poll_interval;
  if (check_.stop_requested(check_.context)) cancel();
  return cancelled();
}

CancellationScope::CancellationScope(CancellationToken& token) noexcept
    : outer_token_(this_thread_call.token), outer_owner_(this_thread_call.owner) {
  this_thread_call.token = &token;
  this_thread_call.owner = true;
}

CancellationScope::~CancellationScope() {
  this_thread_call.token = outer_token_;
  this_thread_call.owner = outer_owner_;
}

AdoptedToken::AdoptedToken(CancellationToken* token) noexcept
    : outer_token_(this_thread_call.token), outer_owner_(this_thread_call.owner) {
  this_thread_call.token = token;
  this_thread_call.owner = false;
}

AdoptedToken::~AdoptedToken() {
  this_thread_call.token = outer_token_;
  this_thread_call.owner = outer_owner_;
}

CancellationToken* current_token() noexcept { return this_thread_call.token; }

bool owns_current_token() noexcept { return this_thread_call.owner; }

void interruption_point() {
  ThreadCall& call = this_thread_call;
  if (call.token == nullptr) return;
  if (call.token->cancelled()) throw Interrupted();
  if (!call.owner || --call.countdown != 0) return;
  call.countdown = clock_stride;
  if (call.token->poll_if_due()) throw Interrupted();
}

}  // namespace obrivane::parallel
