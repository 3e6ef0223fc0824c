#include "module/argument_matching.hpp"

#include <cstring>
#include <string>
#include <string_view>

#include "module/owned_reference.hpp"

namespace obrivane::module {

namespace {

constexpr std::size_t no_parameter = static_cast<std::size_t>(-1);

ErrorValue too_many_positional(const FunctionDescription& description, std::size_t given) {
  std::string message = description.function_name;
  message += "() takes " + std::to_string(description.parameters.size()) + " positional arguments but " +
             std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  return ErrorValue::deferred(PyExc_TypeError, std::move(message));
}

ErrorValue unexpected_keyword(const FunctionDescription& description, PyObject* keyword) {
  OwnedReference keyword_text(message_text_of(keyword));
  OwnedReference message(keyword_text ? PyUnicode_FromFormat("%s() got an unexpected keyword argument '%U'",
                                                             description.function_name, keyword_text.get())
                                      : nullptr);
  if (!message) return take_pending_error();
  return ErrorValue::deferred_with_text(PyExc_TypeError, std::move(message));
}

ErrorValue multiple_values(const FunctionDescription& description, std::size_t parameter) {
  std::string message = description.function_name;
  message += "() got multiple values for argument '";
  message += description.parameters[parameter];
  message += "'";
  return ErrorValue::deferred(PyExc_TypeError, std::move(message));
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
ErrorValue missing_arguments(const FunctionDescription& description, std::span<PyObject*> slots) {
  std::size_t missing = 0;
  for (PyObject* slot : slots) missing += slot == nullptr ? 1 : 0;
  std::string names;
  std::size_t listed = 0;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] != nullptr) continue;
    if (listed > 0) names += missing == 2 ? " and " : (listed + 1 == missing ? ", and " : ", ");
    names += "'";
    names += description.parameters[i];
    names += "'";
    ++listed;
  }
  std::string message = description.function_name;
  if (missing == 1) {
    message += "() missing 1 required positional argument: ";
  } else {
    message += "() missing " + std::to_string(missing) + " required positional arguments: ";
  }
  message += names;
  return ErrorValue::deferred(PyExc_TypeError, std::move(message));
}

// The index of the parameter named by keyword, compared byte for byte in UTF-8; a name that
// cannot be encoded names no parameter.
std::size_t parameter_named(const FunctionDescription& description, PyObject* keyword) {
  Py_ssize_t length = 0;
  const char* text = PyUnicode_AsUTF8AndSize(keyword, &length);
  if (text == nullptr) {
    (void)take_pending_error();
    return no_parameter;
  }
  std::string_view name(text, static_cast<std::size_t>(length));
  for (std::size_t i = 0; i < description.parameters.size(); ++i) {
    if (name == description.parameters[i]) return i;
  }
  return no_parameter;
}

}  // namespace

std::optional<ErrorValue> match_arguments(const FunctionDescription& description, PyObject* const* args,
                                          Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots) {
  const std::size_t positional = static_cast<std::size_t>(nargs);
  if (positional > slots.size()) return too_many_positional(description, positional);
  for (std::size_t i = 0; i < positional; ++i) slots[i] = args[i];

  if (kwnames != nullptr) {
    const Py_ssize_t keyword_count = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
      PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
      const std::size_t parameter = parameter_named(description, keyword);
      if (parameter == no_parameter) return unexpected_keyword(description, keyword);
      if (slots[parameter] != nullptr) return multiple_values(description, parameter);
      slots[parameter] = args[nargs + k];
    }
  }

  if (positional < slots.size()) {
    for (std::size_t i = positional; i < slots.size(); ++i) {
      if (slots[i] == nullptr) return missing_arguments(description, slots);
    }
  }
  return std::nullopt;
}

}  // namespace obrivane::module
