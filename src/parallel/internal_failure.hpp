// A violated invariant below the Python boundary. It is the only thing the models throw; the
// call entry catches it and raises pyo3_runtime.PanicException with the message.
#pragma once

#include <source_location>
#include <stdexcept>
#include <string>

namespace obrivane::parallel {

class InternalFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes the diagnostic (thread, source location, message) to standard error where the failure
// happens, then throws.
[[noreturn]] void fail_internal(const std::string& message,
                                std::source_location where = std::source_location::current());

}  // namespace obrivane::parallel
