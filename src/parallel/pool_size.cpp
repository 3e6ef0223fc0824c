#include "parallel/pool_size.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace obrivane::parallel {
std::optional<std::uint64_t> parse_thread_count(const char* text) noexcept {
  if (text == nullptr) return std::nullopt;
  if (*text == '+') ++text;
  if (*text == '\0') return std::nullopt;
  std::uint64_t value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(*text - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::size_t configured_pool_size() {
  std::size_t size = 0;
  if (const auto threads = parse_thread_count(std::getenv("RAYON_NUM_THREADS"))) {
    size = *threads >= 1 ? static_cast<std::size_t>(std::min<std::uint64_t>(*threads, max_pool_size))
                         : available_parallelism();
  } else if (const auto cpus = parse_thread_count(std::getenv("RAYON_RS_NUM_CPUS")); cpus && *cpus >= 1) {
    size = static_cast<std::size_t>(std::min<std::uint64_t>(*cpus, max_pool_size));
  } else {
    size = available_parallelism();
  }
  return std::min(size, max_pool_size);
}

}  // namespace obrivane::parallel
