// A PyMethodDef whose docstring is the text signature followed by a description:
//
//   OBRIVANE_DOCUMENTED_METHOD(name, entry, "name(a, b)\n--\n\nWhat it computes...")
//
// The interpreter takes everything up to "\n--\n\n" as __text_signature__ and the rest as the
// help text, so the signature line must come first and be well formed; that is checked at
// compile time.
#pragma once

#include <Python.h>

#include <string_view>

#include "module/call_entry.hpp"

namespace obrivane::module::detail {

// A docstring must read "{name}(...)\n--\n\n{description}" with a non-empty description.
consteval const char* checked_docstring(std::string_view name, const char* docstring) {
  const std::string_view text = docstring;
  const std::string_view separator = ")\n--\n\n";
  const std::size_t end_of_signature = text.find(separator);
  if (!text.starts_with(name) || text.size() <= name.size() || text[name.size()] != '(' ||
      end_of_signature == std::string_view::npos ||
      text.substr(name.size(), end_of_signature - name.size()).find('\n') != std::string_view::npos ||
      end_of_signature + separator.size() == text.size()) {
    throw "a docstring reads \"name(parameters)\\n--\\n\\n\" followed by a description";
  }
  return docstring;
}

}  // namespace obrivane::module::detail

#define OBRIVANE_DOCUMENTED_METHOD(name, entry, docstring)                                       \
  PyMethodDef {                                                                                  \
    #name, ::obrivane::module::detail::as_method_function(entry), METH_FASTCALL | METH_KEYWORDS, \
        ::obrivane::module::detail::checked_docstring(#name, docstring)                          \
  }
