// A hint to the processor that the thread is spinning on a value another thread will change: it
// saves power and frees the core's shared resources for a sibling hyperthread.
#pragma once

#if defined(_MSC_VER) && defined(_M_ARM64)
#include <intrin.h>
#elif defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#endif

namespace obrivane::parallel {

inline void cpu_relax() noexcept {
#if defined(_MSC_VER) && defined(_M_ARM64)
  __yield();
#elif defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
  _mm_pause();
#elif defined(__aarch64__)
  __asm__ __volatile__("yield");
#endif
}

}  // namespace obrivane::parallel
