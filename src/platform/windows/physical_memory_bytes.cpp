#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "platform/physical_memory_bytes.hpp"

#include <windows.h>

namespace obrivane::models::platform {

std::optional<std::uint64_t> physical_memory_bytes() noexcept {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (GlobalMemoryStatusEx(&status) == 0 || status.ullTotalPhys == 0) return std::nullopt;
  return static_cast<std::uint64_t>(status.ullTotalPhys);
}

}  // namespace obrivane::models::platform
