// Ctrl-C during a ufunc loop that runs without the interpreter lock.
//
// The loop may run with a lock released by NumPy, whose thread state only NumPy holds, so the
// watch takes the lock back with PyGILState_Ensure, which finds the calling thread's own state,
// runs the pending signal handlers and gives the lock back. A handler's exception is kept and
// cancels the call; raise() makes it pending again once the work has stopped.
#pragma once

#include <Python.h>

#include "models/parallel/cancellation.hpp"
#include "module/owned_reference.hpp"

namespace obrivane::module::fspl {

class LockRetakingSignalWatch {
 public:
  LockRetakingSignalWatch() noexcept = default;
  LockRetakingSignalWatch(const LockRetakingSignalWatch&) = delete;
  LockRetakingSignalWatch& operator=(const LockRetakingSignalWatch&) = delete;

  [[nodiscard]] parallel::InterruptionCheck check() noexcept {
    return parallel::InterruptionCheck{this, &LockRetakingSignalWatch::stop_requested};
  }

  [[nodiscard]] bool caught() const noexcept { return static_cast<bool>(type_); }
  // Holding the lock.
  void raise() noexcept { PyErr_Restore(type_.release(), value_.release(), traceback_.release()); }

 private:
  static bool stop_requested(void* context) noexcept;

  OwnedReference type_;
  OwnedReference value_;
  OwnedReference traceback_;
};

}  // namespace obrivane::module::fspl
