#include "module/argument_conversion.hpp"

#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

#include "module/float64_buffer.hpp"
#include "module/interpreter_once_cell.hpp"
#include "module/owned_reference.hpp"
#include "parallel/internal_failure.hpp"
#include "platform/physical_memory.hpp"

namespace obrivane::module {

namespace {

// A vector of binary64 cannot hold 2**60 elements or more: their bytes would not fit in a
// signed 64-bit size.
constexpr Py_ssize_t max_reservable_elements = (Py_ssize_t{1} << 60) - 1;

// Sizes up to this many elements are reserved without further thought.
constexpr Py_ssize_t small_reservation_elements = Py_ssize_t{1} << 20;

InterpreterOnceCell sequence_abc;

PyObject* sequence_abc_class() {
  return sequence_abc.get_or_create([]() -> PyObject* {
    OwnedReference abc_module(PyImport_ImportModule("collections.abc"));
    return abc_module ? PyObject_GetAttrString(abc_module.get(), "Sequence") : nullptr;
  });
}

ErrorValue not_a_sequence(PyObject* object) {
  OwnedReference type_name(PyType_GetQualName(Py_TYPE(object)));
  if (!type_name) {
    (void)take_pending_error();
    type_name = OwnedReference(PyUnicode_FromString("<failed to extract type name>"));
    if (!type_name) return take_pending_error();
  }
  PyObject* sequence_class = sequence_abc_class();
  if (sequence_class == nullptr) return take_pending_error();
  OwnedReference sequence_name(PyType_GetQualName(reinterpret_cast<PyTypeObject*>(sequence_class)));
  if (!sequence_name) return take_pending_error();
  OwnedReference message(
      PyUnicode_FromFormat("'%U' object cannot be cast as '%U'", type_name.get(), sequence_name.get()));
  if (!message) return take_pending_error();
  return ErrorValue::deferred_with_text(PyExc_TypeError, std::move(message));
}

// Room for the reported number of elements, which is only a hint: a failing or lying __len__
// changes nothing but the reservation, and a reservation that cannot be made is skipped.
void reserve_for_reported_size(PyObject* object, std::vector<double>& values) {
  const Py_ssize_t reported = PyObject_Size(object);
  if (reported < 0) {
    if (PyErr_Occurred()) (void)take_pending_error();
    return;
  }
  if (reported > max_reservable_elements) obrivane::parallel::fail_internal("capacity overflow");
  // A sequence that reports more elements than the machine's memory could hold is not reserved
  // for: the size is only a hint, and such a reservation could only fail (or, under an allocator
  // that treats failure as fatal, end the process).
  if (reported > small_reservation_elements &&
      !models::fits_in_physical_memory(static_cast<std::size_t>(reported), sizeof(double))) {
    return;
  }
  try {
    values.reserve(static_cast<std::size_t>(reported));
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

}  // namespace

Converted<double> convert_float(PyObject* object) {
  if (PyFloat_CheckExact(object)) return PyFloat_AS_DOUBLE(object);
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return take_pending_error();
  return value;
}

Converted<std::vector<double>> convert_sequence(PyObject* object) {
  if (PyUnicode_Check(object)) return ErrorValue::deferred(PyExc_TypeError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(object)) return not_a_sequence(object);
  if (std::optional<std::vector<double>> direct = read_float64_buffer(object)) return std::move(*direct);

  std::vector<double> values;
  reserve_for_reported_size(object, values);
  OwnedReference iterator(PyObject_GetIter(object));
  if (!iterator) return take_pending_error();
  while (true) {
    OwnedReference item(PyIter_Next(iterator.get()));
    if (!item) {
      if (PyErr_Occurred()) return take_pending_error();
      return values;
    }
    Converted<double> element = convert_float(item.get());
    if (ErrorValue* failure = std::get_if<ErrorValue>(&element)) return std::move(*failure);
    values.push_back(std::get<double>(element));
  }
}

ErrorValue argument_extraction_error(const char* parameter, ErrorValue error) {
  if (error.type() != PyExc_TypeError) return error;
  OwnedReference text(error.is_caught() ? message_text_of(error.value() != nullptr ? error.value() : Py_None)
                                        : error.deferred_message());
  if (!text) return take_pending_error();
  OwnedReference message(PyUnicode_FromFormat("argument '%s': %U", parameter, text.get()));
  OwnedReference renamed(message ? PyObject_CallOneArg(PyExc_TypeError, message.get()) : nullptr);
  if (!renamed) return take_pending_error();
  // The original error is dropped: it becomes neither the cause nor the context of the new one.
  PyObject* cause =
      error.is_caught() && error.value() != nullptr ? PyException_GetCause(error.value()) : nullptr;
  PyException_SetCause(renamed.get(), cause);
  return ErrorValue::caught(OwnedReference::borrow(PyExc_TypeError), std::move(renamed), OwnedReference());
}

}  // namespace obrivane::module
