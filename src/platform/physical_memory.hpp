// Whether a block of memory could ever be held by this machine: a request larger than the
// physical memory is refused before anything is allocated or touched, rather than left to an
// allocator that may promise the memory and let the process be killed when it is used.
#pragma once

#include <cstddef>

namespace obrivane::models {

// True when count items of bytes_each bytes fit in the machine's physical memory (or when the
// size of that memory cannot be found out).
bool fits_in_physical_memory(std::size_t count, std::size_t bytes_each) noexcept;

}  // namespace obrivane::models
