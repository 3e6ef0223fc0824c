// Letting a forced unwind through a catch-all handler.
//
// pthread_exit ends a thread by unwinding its stack like an exception that no handler may stop
// (a "forced unwind"); the interpreter uses it (3.11 to 3.13) to end a thread that asks for the
// interpreter lock after finalisation has begun, from any frame that waits for the lock. A
// catch (...) block that does not rethrow it makes the C++ runtime abort the process
// ("FATAL: exception not rethrown"), and one that lies in a noexcept function calls
// std::terminate. So every catch-all on a path where Python code can run (and so the lock can
// change hands) is preceded by
//
//   try { ... } OBRIVANE_LET_FORCED_UNWIND_PASS catch (...) { ... }
//
// and the functions on such a path are not noexcept. The unwind's type is named by the GNU C++
// runtime (libstdc++, used by GCC and Clang on Linux); elsewhere threads are not ended by
// unwinding, and the clause is empty.
#pragma once

#include <version>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#define OBRIVANE_LET_FORCED_UNWIND_PASS \
  catch (const abi::__forced_unwind&) { \
    throw;                              \
  }
#else
#define OBRIVANE_LET_FORCED_UNWIND_PASS
#endif
