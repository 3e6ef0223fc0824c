#include "parallel/internal_failure.hpp"

#include <cstdio>
#include <functional>
#include <sstream>
#include <thread>

namespace obrivane::parallel {

void fail_internal(const std::string& message, std::source_location where) {
  std::ostringstream thread_id;
  thread_id << std::this_thread::get_id();
  std::fprintf(stderr, "obrivane: internal failure in thread %s at %s:%u: %s\n", thread_id.str().c_str(),
               where.file_name(), static_cast<unsigned>(where.line()), message.c_str());
  throw InternalFailure(message);
}

}  // namespace obrivane::parallel
