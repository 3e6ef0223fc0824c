// macOS states the size of its physical memory in bytes, as the 64-bit sysctl hw.memsize.
#include "platform/physical_memory_bytes.hpp"

#include <sys/sysctl.h>
#include <sys/types.h>

#include <cstddef>

namespace obrivane::models::platform {

std::optional<std::uint64_t> physical_memory_bytes() noexcept {
  std::uint64_t bytes = 0;
  std::size_t length = sizeof bytes;
  if (sysctlbyname("hw.memsize", &bytes, &length, nullptr, 0) != 0 || length != sizeof bytes || bytes == 0) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace obrivane::models::platform
