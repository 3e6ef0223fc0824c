#include "module/float64_buffer.hpp"

#include <bit>
#include <cstring>
#include <string_view>

namespace obrivane::module {

namespace {

// Static (non-heap) types cannot have their iteration replaced from Python, so for these the
// buffer and the iteration agree element for element.
bool iterates_as_its_buffer(PyTypeObject* type) {
  if (type == &PyMemoryView_Type) return true;
  if ((type->tp_flags & Py_TPFLAGS_HEAPTYPE) != 0) return false;
  const std::string_view name = type->tp_name;
  return name == "numpy.ndarray" || name == "array.array";
}

// struct-module format of a native-order binary64: "d" with an optional native byte-order
// prefix.
bool is_native_float64(const char* format) {
  if (format == nullptr) return false;
  const std::string_view text = format;
  if (text == "d" || text == "@d" || text == "=d") return true;
  if constexpr (std::endian::native == std::endian::little) return text == "<d";
  return text == ">d" || text == "!d";
}

class BufferView {
 public:
  explicit BufferView(PyObject* exporter) noexcept
      : acquired_(PyObject_GetBuffer(exporter, &view_, PyBUF_RECORDS_RO) == 0) {
    if (!acquired_) PyErr_Clear();
  }
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;
  ~BufferView() {
    if (acquired_) PyBuffer_Release(&view_);
  }
  [[nodiscard]] bool acquired() const noexcept { return acquired_; }
  [[nodiscard]] const Py_buffer& view() const noexcept { return view_; }

 private:
  Py_buffer view_{};
  bool acquired_;
};

}  // namespace

std::optional<std::vector<double>> read_float64_buffer(PyObject* object) {
  if (!iterates_as_its_buffer(Py_TYPE(object)) || !PyObject_CheckBuffer(object)) return std::nullopt;
  BufferView buffer(object);
  if (!buffer.acquired()) return std::nullopt;
  const Py_buffer& view = buffer.view();
  if (view.ndim != 1 || view.itemsize != static_cast<Py_ssize_t>(sizeof(double)) ||
      !is_native_float64(view.format) || view.suboffsets != nullptr) {
    return std::nullopt;
  }
  const std::size_t count = static_cast<std::size_t>(view.shape[0]);
  const Py_ssize_t stride = view.strides[0];
  std::vector<double> values(count);
  const char* source = static_cast<const char*>(view.buf);
  if (stride == static_cast<Py_ssize_t>(sizeof(double))) {
    if (count > 0) std::memcpy(values.data(), source, count * sizeof(double));
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&values[i], source + static_cast<Py_ssize_t>(i) * stride, sizeof(double));
    }
  }
  return values;
}

}  // namespace obrivane::module
