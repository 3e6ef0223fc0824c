// XLA FFI handlers over the kernels of law_kernels.hpp and gradient_kernels.hpp.
//
// A handler receives its operands as XLA buffers: float64, all with the same number of elements
// (obrivane_jax broadcasts them first), one buffer per input and one per output, dense and in
// row-major order. It checks the coefficients as the ufuncs do, reports the first element that
// describes no source with the ufunc's message, and evaluates the elements in chunks on the
// process-wide worker pool, on which the ufuncs run too. Nothing here touches the interpreter: XLA
// calls the handlers on its own threads.
//
// The handlers are compiled only with XLA's C header (OBRIVANE_XLA_FFI, set by the build when
// jaxlib provides the header); without it obrivane._xla_ffi holds an empty dictionary.
#include "module/fspl/xla_ffi_targets.hpp"

#include "module/owned_reference.hpp"

#if OBRIVANE_XLA_FFI
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "module/fspl/elementwise_execution.hpp"
#include "module/fspl/gradient_kernels.hpp"
#include "module/fspl/law_kernels.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/worker_pool.hpp"
#include "xla/ffi/api/c_api.h"
#endif

namespace obrivane::module::fspl {
namespace {

#if OBRIVANE_XLA_FFI

XLA_FFI_Error* make_error(const XLA_FFI_Api* api, XLA_FFI_Error_Code code,
                          const std::string& message) noexcept {
  XLA_FFI_Error_Create_Args args{};
  args.struct_size = XLA_FFI_Error_Create_Args_STRUCT_SIZE;
  args.extension_start = nullptr;
  args.message = message.c_str();
  args.errc = code;
  return api->XLA_FFI_Error_Create(&args);
}

// Answers XLA's question, asked once when the target is registered, of which version of the
// interface the handler was built against and what traits it has (none).
XLA_FFI_Error* report_metadata(XLA_FFI_CallFrame* frame) noexcept {
  auto* extension = reinterpret_cast<XLA_FFI_Metadata_Extension*>(frame->extension_start);
  XLA_FFI_Metadata* metadata = extension->metadata;
  metadata->api_version =
      XLA_FFI_Api_Version{XLA_FFI_Api_Version_STRUCT_SIZE, nullptr, XLA_FFI_API_MAJOR, XLA_FFI_API_MINOR};
  metadata->traits = 0;
  if (metadata->struct_size >= offsetof(XLA_FFI_Metadata, state_type_id) + sizeof(XLA_FFI_TypeId)) {
    metadata->state_type_id = XLA_FFI_TypeId{0};
  }
  return nullptr;
}

// A float64 buffer's data and number of elements, or null data if the operand is anything else.
struct Operand {
  bool float64 = false;
  void* data = nullptr;
  std::size_t elements = 0;
};

// `is_buffer` is true for an operand of type XLA_FFI_ArgType_BUFFER or XLA_FFI_RetType_BUFFER.
Operand float64_operand(bool is_buffer, void* pointer) noexcept {
  if (!is_buffer || pointer == nullptr) return {};
  const auto* buffer = static_cast<const XLA_FFI_Buffer*>(pointer);
  if (buffer->dtype != XLA_FFI_DataType_F64) return {};
  std::size_t elements = 1;
  for (std::int64_t axis = 0; axis < buffer->rank; ++axis)
    elements *= static_cast<std::size_t>(buffer->dims[axis]);
  return {true, buffer->data, elements};
}

// The shortest text that reads back as the value, as Python's repr() writes it: "3.5", "3.0",
// "1e-05", "inf", "nan".
std::string shortest_text(double value) {
  if (value != value) return "nan";
  std::array<char, 32> text{};
  const auto [end, failure] = std::to_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc()) return "?";
  std::string result(text.data(), end);
  if (result.find_first_of(".eni") == std::string::npos) result += ".0";
  return result;
}

// "linear: the coefficients give a non-positive total flux (u1 = 3.5)", the ufunc's message
// ("linear_and_gradient: ..." for the derivatives).
template <class Kernel, std::size_t... J>
std::string coefficient_message(const char* problem,
                                const std::array<const double*, Kernel::parameters.size()>& in, std::size_t i,
                                std::index_sequence<J...>) {
  constexpr std::size_t first = Kernel::parameters.size() - Kernel::coefficients;
  std::string message = std::string(Kernel::name) + ": " + problem + " (";
  ((message += (J == 0 ? "" : ", ") + std::string(Kernel::parameters[first + J]) + " = " +
               shortest_text(in[first + J][i])),
   ...);
  return message + ")";
}

template <class Kernel, std::size_t... J>
const char* first_coefficient_problem(const std::array<const double*, Kernel::parameters.size()>& in,
                                      std::size_t n, std::size_t& at, std::index_sequence<J...>) noexcept {
  constexpr std::size_t first = Kernel::parameters.size() - Kernel::coefficients;
  for (std::size_t i = 0; i < n; ++i) {
    if (const char* problem = Kernel::coefficient_problem(in[first + J][i]...)) {
      at = i;
      return problem;
    }
  }
  return nullptr;
}

template <class Kernel, std::size_t... I>
void evaluate_range(const std::array<const double*, sizeof...(I)>& in,
                    const std::array<double*, outputs_of<Kernel>()>& out, std::size_t begin, std::size_t end,
                    std::index_sequence<I...>) noexcept {
  for (std::size_t i = begin; i < end; ++i) {
    if constexpr (outputs_of<Kernel>() == 1) {
      out[0][i] = Kernel::evaluate(in[I][i]...);
    } else {
      const auto results = Kernel::evaluate(in[I][i]...);
      for (std::size_t k = 0; k < results.size(); ++k) out[k][i] = results[k];
    }
  }
}

template <class Kernel>
XLA_FFI_Error* handler(XLA_FFI_CallFrame* frame) noexcept {
  if (frame->extension_start != nullptr && frame->extension_start->type == XLA_FFI_Extension_Metadata) {
    return report_metadata(frame);
  }
  const XLA_FFI_Api* api = frame->api;
  if (frame->stage != XLA_FFI_ExecutionStage_EXECUTE) return nullptr;
  constexpr std::size_t inputs = Kernel::parameters.size();
  constexpr std::size_t outputs = outputs_of<Kernel>();
  try {
    if (frame->args.size != static_cast<std::int64_t>(inputs) ||
        frame->rets.size != static_cast<std::int64_t>(outputs)) {
      return make_error(api, XLA_FFI_Error_Code_INVALID_ARGUMENT,
                        std::string(Kernel::name) + ": expected " + std::to_string(inputs) +
                            " operands and " + std::to_string(outputs) + " results");
    }
    std::array<const double*, inputs> in{};
    std::array<double*, outputs> out{};
    std::size_t n = 0;
    const auto refuse = [&] {
      return make_error(
          api, XLA_FFI_Error_Code_INVALID_ARGUMENT,
          std::string(Kernel::name) + ": every operand and result is a float64 array of one size");
    };
    for (std::size_t k = 0; k < inputs + outputs; ++k) {
      const Operand operand =
          k < inputs ? float64_operand(frame->args.types[k] == XLA_FFI_ArgType_BUFFER, frame->args.args[k])
                     : float64_operand(frame->rets.types[k - inputs] == XLA_FFI_RetType_BUFFER,
                                       frame->rets.rets[k - inputs]);
      if (!operand.float64) return refuse();
      if (k == 0) n = operand.elements;
      if (operand.elements != n) return refuse();
      if (k < inputs) {
        in[k] = static_cast<const double*>(operand.data);
      } else {
        out[k - inputs] = static_cast<double*>(operand.data);
      }
    }
    if (n == 0) return nullptr;
    if constexpr (Kernel::coefficients > 0) {
      std::size_t at = 0;
      const auto coefficients = std::make_index_sequence<Kernel::coefficients>();
      if (const char* problem = first_coefficient_problem<Kernel>(in, n, at, coefficients)) {
        return make_error(api, XLA_FFI_Error_Code_INVALID_ARGUMENT,
                          coefficient_message<Kernel>(problem, in, at, coefficients));
      }
    }
    const std::size_t chunks = (n + elements_per_chunk - 1) / elements_per_chunk;
    const auto run_chunk = [&](std::size_t chunk) {
      const std::size_t begin = chunk * elements_per_chunk;
      const std::size_t end = begin + elements_per_chunk < n ? begin + elements_per_chunk : n;
      evaluate_range<Kernel>(in, out, begin, end, std::make_index_sequence<inputs>());
    };
    // With a single worker nothing would run beside this thread: handing it the chunks would only
    // add two thread switches.
    if (parallel::pool_size() <= 1) {
      for (std::size_t chunk = 0; chunk < chunks; ++chunk) run_chunk(chunk);
    } else {
      parallel::parallel_for(chunks, run_chunk);
    }
    return nullptr;
  } catch (const std::bad_alloc&) {
    return make_error(api, XLA_FFI_Error_Code_RESOURCE_EXHAUSTED,
                      std::string(Kernel::name) + ": out of memory");
  } catch (const std::exception& failure) {
    return make_error(api, XLA_FFI_Error_Code_INTERNAL, std::string(Kernel::name) + ": " + failure.what());
  } catch (...) {
    return make_error(api, XLA_FFI_Error_Code_INTERNAL, std::string(Kernel::name) + ": internal failure");
  }
}

struct Target {
  const char* name;
  XLA_FFI_Handler* handler;
};

template <class Kernel>
constexpr Target target_of(const char* name) {
  return Target{name, &handler<Kernel>};
}

// The target names are "obrivane_" and the ufunc's name.
constexpr std::array<Target, 14> targets{
    target_of<PointSourceKernel>("obrivane_point_source"),
    target_of<UniformKernel>("obrivane_uniform"),
    target_of<LinearKernel>("obrivane_linear"),
    target_of<QuadraticKernel>("obrivane_quadratic"),
    target_of<SquareRootKernel>("obrivane_square_root"),
    target_of<LogarithmicKernel>("obrivane_logarithmic"),
    target_of<Power2Kernel>("obrivane_power2"),
    target_of<PointSourceGradientKernel>("obrivane_point_source_and_gradient"),
    target_of<UniformGradientKernel>("obrivane_uniform_and_gradient"),
    target_of<LinearGradientKernel>("obrivane_linear_and_gradient"),
    target_of<QuadraticGradientKernel>("obrivane_quadratic_and_gradient"),
    target_of<SquareRootGradientKernel>("obrivane_square_root_and_gradient"),
    target_of<LogarithmicGradientKernel>("obrivane_logarithmic_and_gradient"),
    target_of<Power2GradientKernel>("obrivane_power2_and_gradient"),
};
#endif

constexpr const char* qualified_name = "obrivane._xla_ffi";

PyModuleDef xla_ffi_definition = {PyModuleDef_HEAD_INIT,
                                  qualified_name,
                                  "XLA FFI handlers of the brightness laws, for obrivane_jax (private).",
                                  0,
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  nullptr};

}  // namespace

PyObject* create_xla_ffi_module() {
  OwnedReference module(PyModule_Create2(&xla_ffi_definition, PYTHON_API_VERSION));
  if (!module) return nullptr;
  OwnedReference dictionary(PyDict_New());
  if (!dictionary) return nullptr;
#if OBRIVANE_XLA_FFI
  for (const Target& target : targets) {
    OwnedReference capsule(PyCapsule_New(reinterpret_cast<void*>(target.handler), nullptr, nullptr));
    if (!capsule || PyDict_SetItemString(dictionary.get(), target.name, capsule.get()) < 0) return nullptr;
  }
  // The version of the interface the handlers were built against.
  OwnedReference version(Py_BuildValue("(ii)", XLA_FFI_API_MAJOR, XLA_FFI_API_MINOR));
#else
  OwnedReference version = OwnedReference::borrow(Py_None);
#endif
  if (PyModule_AddObjectRef(module.get(), "targets", dictionary.get()) < 0) return nullptr;
  if (!version || PyModule_AddObjectRef(module.get(), "api_version", version.get()) < 0) return nullptr;
  PyObject* modules = PyImport_GetModuleDict();  // borrowed
  if (PyDict_SetItemString(modules, qualified_name, module.get()) < 0) return nullptr;
  return module.release();
}

}  // namespace obrivane::module::fspl
