// Running an element-wise kernel over one inner loop of a NumPy ufunc.
//
// NumPy calls a ufunc's inner loop with the interpreter lock released when the iteration is
// large, and holding it when it is small. The work here is plain C++ on doubles, so the lock is
// not needed while it computes: a loop that finds the lock held gives it up for the work unless
// the loop is short, and either way the elements are spread over the worker pool in chunks. The
// calling thread takes the lock back now and then to run pending signal handlers, so Ctrl-C
// stops a long call; an exception (KeyboardInterrupt, MemoryError, an internal failure) is set
// with the lock held and reported to NumPy by the return value -1.
#pragma once

#include <Python.h>

#include <cstddef>
#include <optional>
#include <type_traits>

#include "module/interpreter_exit.hpp"

namespace obrivane::module::fspl {

// Elements per chunk: small enough that a few thousand elements keep two workers busy, large
// enough that a chunk's bookkeeping is shared by many elements.
inline constexpr std::size_t elements_per_chunk = 64;

// Holds the interpreter lock for its lifetime, taking it only if the calling thread does not hold
// it already (NumPy may have released it around the loop), for setting an exception. While the
// interpreter exits the lock is not taken: the thread is parked for good (interpreter_exit.hpp).
class InterpreterLockHold {
 public:
  InterpreterLockHold();
  ~InterpreterLockHold();
  InterpreterLockHold(const InterpreterLockHold&) = delete;
  InterpreterLockHold& operator=(const InterpreterLockHold&) = delete;

 private:
  std::optional<InterpreterLockPermit> permit_;  // engaged when the lock was taken here
  PyGILState_STATE state_{};
};

// Calls chunk(context, begin, end) for consecutive ranges covering [0, n), each exactly once,
// possibly on several threads at once. Returns 0, or -1 with a Python exception set. Not
// noexcept: raising an exception runs Python code, during which the interpreter may end the
// thread at exit (forced_unwind.hpp).
int run_in_chunks(std::size_t n, void (*chunk)(void* context, std::size_t begin, std::size_t end),
                  void* context);

template <class Chunk>
int run_in_chunks(std::size_t n, Chunk& chunk) {
  static_assert(std::is_invocable_v<Chunk&, std::size_t, std::size_t>);
  return run_in_chunks(
      n,
      [](void* context, std::size_t begin, std::size_t end) { (*static_cast<Chunk*>(context))(begin, end); },
      &chunk);
}

}  // namespace obrivane::module::fspl
