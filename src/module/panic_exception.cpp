#include "module/panic_exception.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "module/forced_unwind.hpp"
#include "module/interpreter_once_cell.hpp"
#include "parallel/internal_failure.hpp"

namespace obrivane::module {

namespace {

constexpr const char* panic_exception_doc =
    "The exception raised when obrivane's native code, called from Python, fails an internal "
    "check.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that it will typically "
    "propagate all the way through the stack and cause the Python interpreter to exit.";

InterpreterOnceCell panic_exception_class;

}  // namespace

PyObject* panic_exception_type() {
  PyObject* type = panic_exception_class.get_or_create([] {
    return PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", panic_exception_doc, PyExc_BaseException,
                                     nullptr);
  });
  if (type == nullptr) {
    // Not taken as an error value: that would look for this very class again.
    PyErr_Print();
    obrivane::parallel::fail_internal("Failed to initialize new exception type.");
  }
  return type;
}

void raise_internal_failure(std::string_view message) {
  try {
    PyObject* type = panic_exception_type();
    // "replace": a message holding text from the interpreter may carry lone surrogates.
    OwnedReference text(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    OwnedReference arguments(text ? PyTuple_Pack(1, text.get()) : nullptr);
    if (!arguments) {
      // Memory ran out while the message was being made: that MemoryError is raised instead.
      if (PyErr_ExceptionMatches(PyExc_MemoryError)) return;
      PyErr_Print();
      obrivane::parallel::fail_internal("Python API call failed");
    }
    PyErr_SetObject(type, arguments.get());
    return;
  } catch (...) {
    if (handling_forced_unwind()) throw;
  }
  std::fputs("obrivane: uncaught panic at ffi boundary\n", stderr);
  std::abort();
}

void resume_panic(OwnedReference type, OwnedReference value, OwnedReference traceback) {
  std::string message = "Unwrapped panic from Python code";
  if (value) {
    OwnedReference text(PyObject_Str(value.get()));
    // surrogatepass keeps every character; the bytes are decoded with "replace" when raised.
    OwnedReference bytes(text ? PyUnicode_AsEncodedString(text.get(), "utf-8", "surrogatepass") : nullptr);
    if (bytes) {
      message.assign(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
    } else {
      PyErr_Clear();
    }
  }
  std::fputs("--- obrivane is resuming a failure after fetching a PanicException from Python. ---\n", stderr);
  std::fputs("Python stack trace below:\n", stderr);
  PyErr_Restore(type.release(), value.release(), traceback.release());
  PyErr_PrintEx(0);
  throw obrivane::parallel::InternalFailure(message);
}

}  // namespace obrivane::module
