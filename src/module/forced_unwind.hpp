// Letting a forced unwind through a catch-all handler.
//
// pthread_exit ends a thread by unwinding its stack like an exception that no handler may stop
// (a "forced unwind"); the interpreter uses it (3.11 to 3.13) to end a thread that asks for the
// interpreter lock after finalisation has begun, from any frame that waits for the lock. A
// catch (...) block that does not rethrow it makes the C++ runtime abort the process
// ("FATAL: exception not rethrown"), and one in a noexcept function calls std::terminate. So
// every catch-all on a path where Python code can run (and so the lock can change hands) begins
//
//   catch (...) {
//     if (handling_forced_unwind()) throw;
//
// and the functions on such a path are not noexcept.
#pragma once

#include <exception>

namespace obrivane::module {

// Inside a catch (...) block: whether the exception handled is not a C++ exception, which the
// runtime cannot hold in an exception_ptr. The only such exception that reaches this project's
// code is the forced unwind. (Catching abi::__forced_unwind by name would say the same, but
// binds a reference to the null object the GNU runtime hands over for it, which the undefined
// behaviour sanitizer rightly reports, and exists only in that runtime.)
[[nodiscard]] inline bool handling_forced_unwind() noexcept { return !std::current_exception(); }

}  // namespace obrivane::module
