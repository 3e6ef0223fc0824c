// On Linux the parallelism available to the process is the number of CPUs in its affinity mask
// (taskset, cpusets), limited by the CPU quota of its control group (containers, batch systems).
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "parallel/platform/control_group_quota.hpp"
#include "parallel/pool_size.hpp"

namespace obrivane::parallel {
namespace {

std::size_t affinity_cpu_count() {
  // The mask may be larger than the fixed cpu_set_t; grow it until the kernel accepts it.
  for (int cpus = CPU_SETSIZE; cpus <= (1 << 22); cpus *= 2) {
    cpu_set_t* mask = CPU_ALLOC(cpus);
    if (mask == nullptr) return 0;
    const std::size_t bytes = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(bytes, mask);
    const int status = sched_getaffinity(0, bytes, mask);
    const int count = status == 0 ? CPU_COUNT_S(bytes, mask) : 0;
    CPU_FREE(mask);
    if (status == 0) return static_cast<std::size_t>(count);
    if (errno != EINVAL) return 0;
  }
  return 0;
}

}  // namespace

std::size_t available_parallelism() {
  const std::size_t quota = std::max<std::size_t>(platform::cgroup_cpu_quota().value_or(max_pool_size), 1);
  if (const std::size_t in_mask = affinity_cpu_count(); in_mask > 0) return std::min(in_mask, quota);
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  if (online <= 0) return 1;
  return std::min(static_cast<std::size_t>(online), quota);
}

}  // namespace obrivane::parallel
