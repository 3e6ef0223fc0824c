// The size of the machine's physical memory, one implementation per platform (posix/ for Linux
// and the other systems with sysconf, macos/, windows/).
#pragma once

#include <cstdint>
#include <optional>

namespace obrivane::models::platform {

// Bytes of physical memory, or nothing when the system does not say.
std::optional<std::uint64_t> physical_memory_bytes() noexcept;

}  // namespace obrivane::models::platform
