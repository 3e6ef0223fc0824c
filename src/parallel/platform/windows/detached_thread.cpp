// Detached Win32 threads. _beginthreadex (rather than CreateThread) sets up the C runtime's
// per-thread state; STACK_SIZE_PARAM_IS_A_RESERVATION makes stack_bytes the reserved size of the
// stack (without it, the size would only be what is committed up front, and the reservation
// would stay the executable's default of 1 MiB).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: process.h relies on its types.
#include <process.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <new>

#include "parallel/platform/threads.hpp"

namespace obrivane::parallel::platform {
namespace {

struct ThreadStart {
  void (*entry)(void*) noexcept;
  void* argument;
};

unsigned __stdcall thread_main(void* argument) {
  const ThreadStart start = *static_cast<ThreadStart*>(argument);
  delete static_cast<ThreadStart*>(argument);
  start.entry(start.argument);
  return 0;
}

}  // namespace

int start_detached_thread(void (*entry)(void*) noexcept, void* argument, std::size_t stack_bytes) noexcept {
  if (stack_bytes > std::numeric_limits<unsigned>::max()) return EINVAL;
  auto* start = new (std::nothrow) ThreadStart{entry, argument};
  if (start == nullptr) return ENOMEM;
  errno = 0;
  const std::uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(stack_bytes), thread_main,
                                               start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) {
    // _beginthreadex reports its failure through errno (EAGAIN when out of threads or memory).
    const int error = errno != 0 ? errno : EAGAIN;
    delete start;
    return error;
  }
  // The thread runs on without its handle: nobody waits for it.
  CloseHandle(reinterpret_cast<HANDLE>(handle));
  return 0;
}

}  // namespace obrivane::parallel::platform
