// The static parameter table of one Python function, read by the argument matching. Every
// parameter may be passed by position or by keyword and every parameter is required: there are
// no defaults, no positional-only or keyword-only parameters and no *args or **kwargs.
#pragma once

#include <cstddef>
#include <span>

namespace obrivane::module {

struct FunctionDescription {
  // The Python name; messages write it followed by "()".
  const char* function_name;
  // The parameter names, in order.
  std::span<const char* const> parameters;

  [[nodiscard]] constexpr std::size_t required_parameters() const noexcept { return parameters.size(); }
};

}  // namespace obrivane::module
