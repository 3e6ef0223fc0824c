#include "platform/physical_memory.hpp"

#include <cstdint>

#include "platform/physical_memory_bytes.hpp"

namespace obrivane::models {

bool fits_in_physical_memory(std::size_t count, std::size_t bytes_each) noexcept {
  const auto memory_bytes = platform::physical_memory_bytes();
  if (!memory_bytes) return true;
  if (bytes_each == 0) return true;
  return count <= *memory_bytes / bytes_each;
}

}  // namespace obrivane::models
