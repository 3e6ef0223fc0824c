// A strong reference to an interpreter object, released when it goes out of scope. Every
// temporary of the boundary is held in one, so that no exit path (an error value, an internal
// failure thrown through the frame) leaks a reference. Once the interpreter has begun to exit,
// a thread other than the exiting one gives back nothing: it may be unwinding without the lock
// (interpreter_exit.hpp), and the process is ending anyway.
#pragma once

#include <Python.h>

#include <utility>

#include "module/interpreter_exit.hpp"

namespace obrivane::module {

class OwnedReference {
 public:
  OwnedReference() noexcept = default;
  // Takes over a new reference (or null, the result of a failed C API call).
  explicit OwnedReference(PyObject* new_reference) noexcept : object_(new_reference) {}
  OwnedReference(OwnedReference&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  OwnedReference& operator=(OwnedReference&& other) noexcept {
    if (this != &other) {
      give_back();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  OwnedReference(const OwnedReference&) = delete;
  OwnedReference& operator=(const OwnedReference&) = delete;
  ~OwnedReference() { give_back(); }

  static OwnedReference borrow(PyObject* borrowed) noexcept { return OwnedReference(Py_XNewRef(borrowed)); }

  [[nodiscard]] PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller, who becomes responsible for releasing it.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  void give_back() noexcept {
    if (object_ != nullptr && may_release_references()) Py_DECREF(object_);
  }

  PyObject* object_ = nullptr;
};

}  // namespace obrivane::module
