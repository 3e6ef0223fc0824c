// One Python function, written once: its parameter table (name and parameters, which the
// argument matching reads), its model operation and its help text. python_method() generates the
// entry function and the method-table row:
//
//   constexpr const char* separations_and_radii[] = {"l", "re", "rstar"};
//   constexpr FunctionDescription witt_mao{"witt_mao_magnification", separations_and_radii};
//   PyMethodDef methods[] = {
//       python_method<witt_mao, &models::witt_mao_magnification, docstrings::witt_mao_magnification>(),
//   };
//
// The help text must open with the signature the parameter table implies,
// "witt_mao_magnification(l, re, rstar)\n--\n\n", which the interpreter turns into
// __text_signature__; that is checked at compile time, so the three cannot drift apart.
#pragma once

#include <Python.h>

#include <string_view>

#include "module/call_entry.hpp"
#include "module/function_description.hpp"

namespace obrivane::module {

namespace detail {

// Whether `docstring` reads "{name}({p1}, {p2}, ...)\n--\n\n" followed by a description.
consteval bool opens_with_signature(const FunctionDescription& function, std::string_view docstring) {
  std::string_view rest = docstring;
  const auto take = [&rest](std::string_view expected) {
    if (!rest.starts_with(expected)) return false;
    rest.remove_prefix(expected.size());
    return true;
  };
  if (!take(function.function_name) || !take("(")) return false;
  for (std::size_t i = 0; i < function.parameters.size(); ++i) {
    if ((i > 0 && !take(", ")) || !take(function.parameters[i])) return false;
  }
  if (!take(")\n--\n\n")) return false;
  return !rest.empty();
}

template <const FunctionDescription& Description, auto Operation>
PyObject* generated_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_entry<Operation>(Description, args, nargs, kwnames);
}

}  // namespace detail

// The method-table row of a function with a help text (the signature, then a description).
template <const FunctionDescription& Description, auto Operation, const char* const& Docstring>
PyMethodDef python_method() noexcept {
  static_assert(detail::opens_with_signature(Description, Docstring),
                "a help text reads \"name(parameters)\\n--\\n\\n\" and a description, the parameters "
                "those of the function's table");
  return PyMethodDef{Description.function_name,
                     detail::as_method_function(&detail::generated_entry<Description, Operation>),
                     METH_FASTCALL | METH_KEYWORDS, Docstring};
}

}  // namespace obrivane::module
