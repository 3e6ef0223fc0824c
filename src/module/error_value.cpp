#include "module/error_value.hpp"

#include <utility>

#include "module/panic_exception.hpp"
#include "module/raised_exception.hpp"

namespace obrivane::module {

ErrorValue ErrorValue::deferred(PyObject* exception_type, std::string message) {
  ErrorValue error;
  error.type_ = OwnedReference::borrow(exception_type);
  error.message_ = std::move(message);
  return error;
}

ErrorValue ErrorValue::deferred_with_text(PyObject* exception_type, OwnedReference message) {
  ErrorValue error;
  error.type_ = OwnedReference::borrow(exception_type);
  error.value_ = std::move(message);
  return error;
}

ErrorValue ErrorValue::caught(OwnedReference type, OwnedReference value, OwnedReference traceback) {
  ErrorValue error;
  error.type_ = std::move(type);
  error.value_ = std::move(value);
  error.traceback_ = std::move(traceback);
  error.caught_ = true;
  return error;
}

PyObject* ErrorValue::deferred_message() const {
  if (value_) return Py_NewRef(value_.get());
  return PyUnicode_FromStringAndSize(message_.data(), static_cast<Py_ssize_t>(message_.size()));
}

void ErrorValue::raise() && {
  if (caught_) {
    PyErr_Restore(type_.release(), value_.release(), traceback_.release());
    return;
  }
  OwnedReference message(deferred_message());
  if (!message) return;  // the failure to make the message is what is pending now
  PyErr_SetObject(type_.get(), message.get());
}

ErrorValue take_pending_error() {
  // The instance carries its type and traceback (normalised on 3.11, where they come apart).
  OwnedReference value = take_raised_exception();
  OwnedReference type(value ? Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value.get()))) : nullptr);
  OwnedReference traceback(value ? PyException_GetTraceback(value.get()) : nullptr);
  if (!type) return ErrorValue::deferred(PyExc_SystemError, "attempted to fetch exception but none was set");
  if (type.get() == panic_exception_type())
    resume_panic(std::move(type), std::move(value), std::move(traceback));
  return ErrorValue::caught(std::move(type), std::move(value), std::move(traceback));
}

PyObject* message_text_of(PyObject* object) {
  if (PyObject* text = PyObject_Str(object)) return text;
  take_pending_error().raise();
  PyErr_WriteUnraisable(object);
  OwnedReference type_name(PyType_GetName(Py_TYPE(object)));
  if (!type_name) {
    PyErr_Clear();
    return PyUnicode_FromString("<unprintable object>");
  }
  return PyUnicode_FromFormat("<unprintable %U object>", type_name.get());
}

}  // namespace obrivane::module
