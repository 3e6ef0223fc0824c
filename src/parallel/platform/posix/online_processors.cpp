// On POSIX systems other than Linux (macOS, the BSDs) a process can be neither confined to some
// CPUs nor given a CPU quota, so the parallelism available to it is the online processor count.
#include <unistd.h>

#include <cstddef>

#include "parallel/pool_size.hpp"

namespace obrivane::parallel {

std::size_t available_parallelism() {
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<std::size_t>(online) : 1;
}

}  // namespace obrivane::parallel
