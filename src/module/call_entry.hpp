// The call entry shared by every Python function of the project's extension modules.
//
// A function is written as a plain C++ operation whose parameter types choose the conversion of
// each argument (double: the float rule; std::vector<double>: the sequence rule, the vector
// handed over by value) and whose result type chooses the conversion back (double: float;
// std::vector<double>: list; std::vector<std::vector<double>>: list of lists;
// numeric::EllipticResult and models::ModelResult<T>: the value, or RuntimeError carrying the
// message). It is exposed as
//
//   PyObject* elliprf_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
//     static constexpr const char* parameters[] = {"x", "y", "z"};
//     static constexpr obrivane::module::FunctionDescription description{"elliprf", parameters};
//     return obrivane::module::call_entry<&elliprf_for_python>(description, args, nargs, kwnames);
//   }
//
// and listed in a method table with
//
//   OBRIVANE_FASTCALL_METHOD(elliprf, elliprf_entry, "elliprf(x, y, z)\n--\n\n"),
//
// whose third argument is the text signature: the name, the parameters in parentheses, then
// "\n--\n\n". (The parameter table lives inside the entry function, out of the macro's reach,
// so the signature is written out; its shape is checked at compile time, and the tests compare
// it with the parameter names that the argument errors report.)
//
// call_entry matches the arguments, converts them in parameter order (the first failure is
// raised, named after its parameter), calls the operation (without the interpreter lock, and
// stoppable by Ctrl-C, unless the call is small), converts its result and raises its error
// value. Nothing thrown below it crosses into C: an InternalFailure, or any other C++
// exception, is raised as pyo3_runtime.PanicException. Only the forced unwind by which the
// interpreter ends a thread at exit passes (forced_unwind.hpp); a thread in an unlocked call
// when the interpreter exits is parked rather than ended (interpreter_exit.hpp).
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "models/model_result.hpp"
#include "module/argument_conversion.hpp"
#include "module/argument_matching.hpp"
#include "module/error_value.hpp"
#include "module/forced_unwind.hpp"
#include "module/function_description.hpp"
#include "module/interpreter_exit.hpp"
#include "module/result_conversion.hpp"
#include "module/signal_watch.hpp"
#include "numeric/elliptic_result.hpp"
#include "parallel/cancellation.hpp"
#include "parallel/internal_failure.hpp"

namespace obrivane::module {

// Raises the C++ exception being handled as PanicException (to be called inside a catch block).
// Not noexcept: raising runs Python code (the exception class is created on first use, a
// report is printed), and the thread may be ended there at exit.
void raise_caught_failure();

namespace detail {

template <class Signature>
struct OperationTraits;

template <class Result, class... Parameters>
struct OperationTraits<Result (*)(Parameters...)> {
  using result = Result;
  using arguments = std::tuple<std::decay_t<Parameters>...>;
  static constexpr std::size_t arity = sizeof...(Parameters);
};

template <class Result, class... Parameters>
struct OperationTraits<Result (*)(Parameters...) noexcept> : OperationTraits<Result (*)(Parameters...)> {};

template <class T>
Converted<T> convert_argument(PyObject* object) {
  if constexpr (std::is_same_v<T, double>) {
    return convert_float(object);
  } else if constexpr (std::is_same_v<T, std::vector<double>>) {
    return convert_sequence(object);
  } else {
    static_assert(!sizeof(T), "parameters are double (float rule) or std::vector<double> (sequence rule)");
  }
}

// Converts argument I into its slot of the tuple; on failure records the renamed error.
template <std::size_t I, class Arguments>
bool convert_into(Arguments& arguments, PyObject* object, const char* parameter,
                  std::optional<ErrorValue>& failure) {
  using T = std::tuple_element_t<I, Arguments>;
  Converted<T> converted = convert_argument<T>(object);
  if (ErrorValue* error = std::get_if<ErrorValue>(&converted)) {
    failure.emplace(argument_extraction_error(parameter, std::move(*error)));
    return false;
  }
  std::get<I>(arguments) = std::move(std::get<T>(converted));
  return true;
}

inline PyObject* raise_runtime_error(const char* message) {
  ErrorValue::deferred(PyExc_RuntimeError, message).raise();
  return nullptr;
}

template <class Result>
PyObject* result_to_python(Result&& result) {
  using R = std::decay_t<Result>;
  if constexpr (std::is_same_v<R, numeric::EllipticResult>) {
    return result.ok() ? to_python(result.value()) : raise_runtime_error(result.message());
  } else if constexpr (requires { result.error().message; }) {  // models::ModelResult<T>
    return result.ok() ? to_python(std::move(result).value()) : raise_runtime_error(result.error().message);
  } else {
    return to_python(result);
  }
}

// Giving up the interpreter lock and taking it back costs about as much as evaluating one
// uniform-disk element, the cheapest work per element there is; calls over fewer elements than
// this keep the lock, so that small calls do not get slower.
inline constexpr std::size_t unlocked_call_threshold = 8;

// The number of elements of the call's vector arguments together.
template <class Arguments>
std::size_t element_count(const Arguments& arguments) noexcept {
  return std::apply(
      [](const auto&... argument) {
        std::size_t count = 0;
        ((count +=
          [&] {
            if constexpr (std::is_same_v<std::decay_t<decltype(argument)>, std::vector<double>>) {
              return argument.size();
            } else {
              return std::size_t{0};
            }
          }()),
         ...);
        return count;
      },
      arguments);
}

template <auto Operation, std::size_t... I>
PyObject* convert_and_call([[maybe_unused]] const FunctionDescription& description,
                           [[maybe_unused]] std::span<PyObject* const> slots, std::index_sequence<I...>) {
  using Traits = OperationTraits<decltype(Operation)>;
  typename Traits::arguments arguments{};
  std::optional<ErrorValue> failure;
  // Parameter order, stopping at the first failure; the values already converted are released
  // with the tuple.
  if (!(convert_into<I>(arguments, slots[I], description.parameters[I], failure) && ...)) {
    std::move(*failure).raise();
    return nullptr;
  }
  if (element_count(arguments) < unlocked_call_threshold) {
    return result_to_python(std::apply(Operation, std::move(arguments)));
  }
  // The operation sees only plain doubles and vectors owned by this frame, so the interpreter
  // lock is given up while it computes. Whatever it throws is carried out of the unlocked region
  // and rethrown with the lock held again, so call_entry raises it on its one exit path. A
  // signal handler that raised while the call ran (Ctrl-C) cancels it; its exception is raised
  // in place of any result or failure. Should the interpreter begin to exit meanwhile, the lock
  // is taken back only with an InterpreterLockPermit (interpreter_exit.hpp): a signal check
  // refused one cancels the call, and a thread refused one at the end parks for good, its frame
  // and the work done in it untouched, never returning to the interpreter.
  std::optional<typename Traits::result> result;
  std::exception_ptr thrown;
  PyThreadState* thread_state = nullptr;
  SignalWatch signals(thread_state);
  thread_state = PyEval_SaveThread();
  try {
    parallel::CancellationToken token(signals.check());
    const parallel::CancellationScope scope(token);
    result.emplace(std::apply(Operation, std::move(arguments)));
  } catch (...) {
    if (handling_forced_unwind()) throw;
    thrown = std::current_exception();
  }
  restore_thread_or_park(thread_state);
  if (signals.caught()) {
    signals.raise();
    return nullptr;
  }
  if (thrown) std::rethrow_exception(thrown);
  return result_to_python(std::move(*result));
}

}  // namespace detail

// Not noexcept, and its catch-all lets a forced unwind pass: the conversions run Python code,
// during which the interpreter may end the thread at exit (forced_unwind.hpp).
template <auto Operation>
PyObject* call_entry(const FunctionDescription& description, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) {
  using Traits = detail::OperationTraits<decltype(Operation)>;
  try {
    if (description.parameters.size() != Traits::arity) {
      obrivane::parallel::fail_internal(std::string("parameter table of ") + description.function_name +
                                        "() does not match its operation");
    }
    std::array<PyObject*, Traits::arity> slots{};
    if (std::optional<ErrorValue> mismatch = match_arguments(description, args, nargs, kwnames, slots)) {
      std::move(*mismatch).raise();
      return nullptr;
    }
    return detail::convert_and_call<Operation>(description, slots, std::make_index_sequence<Traits::arity>());
  } catch (...) {
    if (handling_forced_unwind()) throw;
    raise_caught_failure();
    return nullptr;
  }
}

namespace detail {

// A text signature must read "{name}(...)\n--\n\n".
consteval const char* checked_text_signature(std::string_view name, const char* signature) {
  const std::string_view text = signature;
  const std::string_view ending = ")\n--\n\n";
  if (!text.starts_with(name) || text.size() <= name.size() || text[name.size()] != '(' ||
      !text.ends_with(ending)) {
    throw "a text signature reads \"name(parameters)\\n--\\n\\n\"";
  }
  return signature;
}

}  // namespace detail

}  // namespace obrivane::module

namespace obrivane::module::detail {

// The METH_FASTCALL | METH_KEYWORDS convention (PyCFunctionFastWithKeywords, public from 3.13).
using FastCallWithKeywords = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// CPython stores every entry as a PyCFunction and calls it by the convention its flags name.
inline PyCFunction as_method_function(FastCallWithKeywords entry) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

}  // namespace obrivane::module::detail

// A PyMethodDef for an entry function of the METH_FASTCALL | METH_KEYWORDS convention, whose
// docstring is the text signature alone.
// The entry is converted through a parameter of the exact entry type, so anything else (a
// function of another signature, or the address of a pointer variable) does not compile.
#define OBRIVANE_FASTCALL_METHOD(name, entry, text_signature)                                    \
  PyMethodDef {                                                                                  \
    #name, ::obrivane::module::detail::as_method_function(entry), METH_FASTCALL | METH_KEYWORDS, \
        ::obrivane::module::detail::checked_text_signature(#name, text_signature)                \
  }
