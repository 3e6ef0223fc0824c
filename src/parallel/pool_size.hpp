// How many workers the process-wide pool gets: RAYON_NUM_THREADS, else RAYON_RS_NUM_CPUS, else the
// parallelism available to the process (on Linux the CPU-affinity mask limited by the
// control-group CPU quota; see platform/ for the other systems).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace obrivane::parallel {

// The largest pool the module builds.
inline constexpr std::size_t max_pool_size = 65535;

// A thread count written as an optional single '+' followed by one or more ASCII digits and
// nothing else, fitting an unsigned 64-bit integer; anything else (an empty text, blanks, a
// minus sign, overflow) is no number.
std::optional<std::uint64_t> parse_thread_count(const char* text) noexcept;

// The processors this process may run on, at least 1. On Linux: CPUs in the affinity mask (or,
// when the mask cannot be read, the online processors), limited by the control-group quota (at
// least 1); 1 when neither count is available. On Windows: processors in the process's affinity
// mask, else the active processors. Elsewhere: the online processors. One definition per
// platform, in platform/.
std::size_t available_parallelism();

// The pool size from the environment and the machine, read once when the pool is created.
std::size_t configured_pool_size();

}  // namespace obrivane::parallel
