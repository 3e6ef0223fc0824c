// On Windows the parallelism available to the process is the number of processors in its
// affinity mask (start /affinity, job objects). The mask covers one processor group (at most 64
// processors); when it cannot be read, because the process already has threads in several
// groups, every active processor counts.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "parallel/pool_size.hpp"

namespace obrivane::parallel {

std::size_t available_parallelism() {
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0 && process_mask != 0) {
    return static_cast<std::size_t>(std::popcount(static_cast<std::uint64_t>(process_mask)));
  }
  const DWORD active = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return active > 0 ? static_cast<std::size_t>(active) : 1;
}

}  // namespace obrivane::parallel
