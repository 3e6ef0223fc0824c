// What a conversion or a model operation hands back instead of a result: either an exception
// caught from the interpreter (type, value, traceback) or a deferred exception, an exception type
// with its message, which becomes an interpreter object only when it is raised.
#pragma once

#include <Python.h>

#include <string>

#include "module/owned_reference.hpp"

namespace obrivane::module {

class ErrorValue {
 public:
  // A deferred exception; exception_type is one of the interpreter's built-in exception
  // classes (TypeError, RuntimeError, ImportError, SystemError), which live for the process.
  static ErrorValue deferred(PyObject* exception_type, std::string message);
  // A deferred exception whose message is already a str object (text taken from the
  // interpreter, which need not be valid UTF-8, such as a keyword name with lone surrogates).
  static ErrorValue deferred_with_text(PyObject* exception_type, OwnedReference message);
  // A caught exception, taken over as it stands.
  static ErrorValue caught(OwnedReference type, OwnedReference value, OwnedReference traceback);

  ErrorValue(ErrorValue&&) noexcept = default;
  ErrorValue& operator=(ErrorValue&&) noexcept = default;

  // The exception type (borrowed).
  [[nodiscard]] PyObject* type() const noexcept { return type_.get(); }
  [[nodiscard]] bool is_caught() const noexcept { return caught_; }
  // The caught exception instance (borrowed; null for a deferred exception).
  [[nodiscard]] PyObject* value() const noexcept { return caught_ ? value_.get() : nullptr; }
  // The message of a deferred exception as a str object (new reference; null with an exception
  // pending if it cannot be made).
  [[nodiscard]] PyObject* deferred_message() const;

  // Makes this the interpreter's pending exception; the error value is consumed.
  void raise() &&;

 private:
  ErrorValue() = default;

  OwnedReference type_;
  // A caught exception: value_ and traceback_ as the interpreter had them. A deferred one:
  // value_ holds the message object if there is one, else message_ holds the text.
  OwnedReference value_;
  OwnedReference traceback_;
  std::string message_;
  bool caught_ = false;
};

// Takes the interpreter's pending exception as an error value (leaving nothing pending). With
// nothing pending, the result is SystemError "attempted to fetch exception but none was set".
// If the pending exception is a PanicException, the failure it carries is resumed instead: its
// report goes to standard error and an InternalFailure with its message is thrown.
ErrorValue take_pending_error();

// The str() of an object for a message; when str() fails, that failure is reported as
// unraisable and the text is "<unprintable {type} object>". New reference; null only if even
// that text cannot be made (with an exception pending).
PyObject* message_text_of(PyObject* object);

}  // namespace obrivane::module
