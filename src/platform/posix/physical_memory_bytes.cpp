#include "platform/physical_memory_bytes.hpp"

#include <unistd.h>

namespace obrivane::models::platform {

std::optional<std::uint64_t> physical_memory_bytes() noexcept {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return std::nullopt;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

}  // namespace obrivane::models::platform
