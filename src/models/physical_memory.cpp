#include "models/physical_memory.hpp"

#include <unistd.h>

#include <cstdint>

namespace obrivane::models {

bool fits_in_physical_memory(std::size_t count, std::size_t bytes_each) noexcept {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return true;
  const auto memory_bytes = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
  if (bytes_each == 0) return true;
  return count <= memory_bytes / bytes_each;
}

}  // namespace obrivane::models
