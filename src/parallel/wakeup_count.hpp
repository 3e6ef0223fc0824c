// How often a thread blocked on one of the pool's condition variables was woken up, counted in
// builds configured to measure it (OBRIVANE_COUNT_WAKEUPS); elsewhere the count costs nothing
// and reads -1.
#pragma once

#include <atomic>
#include <cstddef>

namespace obrivane::parallel {

#ifdef OBRIVANE_COUNT_WAKEUPS
inline std::atomic<long long> wakeup_counter{0};
inline void count_wakeup() noexcept { wakeup_counter.fetch_add(1, std::memory_order_relaxed); }
inline long long wakeup_count() noexcept { return wakeup_counter.load(std::memory_order_relaxed); }
#else
inline void count_wakeup() noexcept {}
inline long long wakeup_count() noexcept { return -1; }
#endif

}  // namespace obrivane::parallel
