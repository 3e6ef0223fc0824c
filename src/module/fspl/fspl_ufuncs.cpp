// NumPy ufuncs over the kernels of law_kernels.hpp and gradient_kernels.hpp. Each has one float64
// loop, registered as an ArrayMethod (so that it can report an error), and a promoter that sends
// every operand through float64: NumPy's casting rules then accept integers and float32 and refuse
// complex numbers and strings with its own TypeError.
#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define NPY_TARGET_VERSION NPY_2_0_API_VERSION
#include "module/fspl/fspl_ufuncs.hpp"

#include <numpy/arrayobject.h>
#include <numpy/dtype_api.h>
#include <numpy/ufuncobject.h>

#include <array>
#include <cfenv>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "models/tabulated_profile.hpp"
#include "module/call_entry.hpp"
#include "module/forced_unwind.hpp"
#include "module/fspl/elementwise_execution.hpp"
#include "module/fspl/fspl_docstrings.hpp"
#include "module/fspl/gradient_docstrings.hpp"
#include "module/fspl/gradient_kernels.hpp"
#include "module/fspl/law_kernels.hpp"
#include "module/owned_reference.hpp"
#include "module/pending_python_error.hpp"

namespace obrivane::module::fspl {
namespace {

// Element i of a strided operand. NumPy hands this loop aligned data only (the method does not
// claim to support unaligned access).
inline double& element(char* base, npy_intp stride, std::size_t i) noexcept {
  return *reinterpret_cast<double*>(base + static_cast<npy_intp>(i) * stride);
}

template <class Kernel, std::size_t... I>
void evaluate_range(char* const* data, const npy_intp* strides, std::size_t begin, std::size_t end,
                    std::index_sequence<I...>) noexcept {
  constexpr std::size_t inputs = sizeof...(I);
  for (std::size_t i = begin; i < end; ++i) {
    if constexpr (outputs_of<Kernel>() == 1) {
      element(data[inputs], strides[inputs], i) = Kernel::evaluate(element(data[I], strides[I], i)...);
    } else {
      const auto results = Kernel::evaluate(element(data[I], strides[I], i)...);
      for (std::size_t k = 0; k < results.size(); ++k) {
        element(data[inputs + k], strides[inputs + k], i) = results[k];
      }
    }
  }
}

std::string shortest_repr(double value) {
  char* text = PyOS_double_to_string(value, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
  if (text == nullptr) throw PendingPythonError();
  std::string result(text);
  PyMem_Free(text);
  return result;
}

// "linear: the coefficients give a non-positive total flux (u1 = 3.5)". With the lock held.
template <class Kernel, std::size_t... J>
void raise_coefficient_problem(const char* problem, char* const* data, const npy_intp* strides, std::size_t i,
                               std::index_sequence<J...>) {
  constexpr std::size_t first = Kernel::parameters.size() - Kernel::coefficients;
  std::string message = std::string(Kernel::name) + ": " + problem + " (";
  ((message += (J == 0 ? "" : ", ") + std::string(Kernel::parameters[first + J]) + " = " +
               shortest_repr(element(data[first + J], strides[first + J], i))),
   ...);
  message += ")";
  PyErr_SetString(PyExc_ValueError, message.c_str());
}

// The first element whose coefficients describe no source is reported before anything is
// computed, so a refused call costs next to nothing.
template <class Kernel, std::size_t... J>
int check_coefficients(char* const* data, const npy_intp* strides, std::size_t n,
                       std::index_sequence<J...> coefficients) {
  constexpr std::size_t first = Kernel::parameters.size() - Kernel::coefficients;
  for (std::size_t i = 0; i < n; ++i) {
    const char* problem = Kernel::coefficient_problem(element(data[first + J], strides[first + J], i)...);
    if (problem == nullptr) continue;
    const InterpreterLockHold hold;
    try {
      raise_coefficient_problem<Kernel>(problem, data, strides, i, coefficients);
    } catch (...) {
      if (handling_forced_unwind()) throw;
      raise_caught_failure();
    }
    return -1;
  }
  return 0;
}

template <class Kernel>
int strided_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dimensions,
                 const npy_intp* strides, NpyAuxData*) {
  constexpr std::size_t inputs = Kernel::parameters.size();
  const auto n = static_cast<std::size_t>(dimensions[0]);
  if constexpr (Kernel::coefficients > 0) {
    if (check_coefficients<Kernel>(data, strides, n, std::make_index_sequence<Kernel::coefficients>()) < 0) {
      return -1;
    }
  }
  auto chunk = [data, strides](std::size_t begin, std::size_t end) {
    evaluate_range<Kernel>(data, strides, begin, end, std::make_index_sequence<inputs>());
  };
  return run_in_chunks(n, chunk);
}

// The generalised ufunc tabulated(u, rho, radius, brightness), signature (),(),(n),(n)->(): each
// run of elements that share one table (all of them, when the table broadcasts) prepares it once
// and evaluates its elements on the pool. Operands 2 and 3 carry the table, with their row
// strides after the five outer strides.
int tabulated_loop(PyArrayMethod_Context*, char* const* data, const npy_intp* dimensions,
                   const npy_intp* strides, NpyAuxData*) {
  const auto n = static_cast<std::size_t>(dimensions[0]);
  const auto rows = static_cast<std::size_t>(dimensions[1]);
  const auto table_at = [&](std::size_t operand, std::size_t i) {
    return data[operand] + static_cast<npy_intp>(i) * strides[operand];
  };
  std::size_t begin = 0;
  while (begin < n) {
    std::size_t end = begin + 1;
    while (end < n && table_at(2, end) == table_at(2, begin) && table_at(3, end) == table_at(3, begin)) ++end;
    std::unique_ptr<const models::PreparedTable> table;
    try {
      std::vector<double> radii(rows);
      std::vector<double> brightness(rows);
      for (std::size_t row = 0; row < rows; ++row) {
        radii[row] = element(table_at(2, begin), strides[5], row);
        brightness[row] = element(table_at(3, begin), strides[6], row);
      }
      table = std::make_unique<const models::PreparedTable>(radii, brightness);
    } catch (...) {
      if (handling_forced_unwind()) throw;
      const InterpreterLockHold hold;
      raise_caught_failure();
      return -1;
    }
    auto chunk = [&, offset = begin](std::size_t first, std::size_t last) {
      for (std::size_t i = offset + first; i < offset + last; ++i) {
        element(data[4], strides[4], i) =
            table->magnification(element(data[0], strides[0], i), element(data[1], strides[1], i));
      }
    };
    if (run_in_chunks(end - begin, chunk) < 0) return -1;
    begin = end;
  }
  // NumPy reads the floating-point flags after a generalised ufunc's loop whatever the method's
  // flags say; the NaN and infinities of the model are results, not errors.
  std::feclearexcept(FE_ALL_EXCEPT);
  return 0;
}

// Every operand, inputs and output, as float64; a dtype= or signature= that asks for another
// type is kept, and then finds no loop.
int promote_to_float64(PyObject*, PyArray_DTypeMeta* const operand_dtypes[],
                       PyArray_DTypeMeta* const signature[], PyArray_DTypeMeta* new_operand_dtypes[],
                       int operands) noexcept {
  for (int i = 0; i < operands; ++i) {
    PyArray_DTypeMeta* chosen = signature[i] != nullptr ? signature[i] : &PyArray_DoubleDType;
    Py_INCREF(chosen);
    new_operand_dtypes[i] = chosen;
  }
  static_cast<void>(operand_dtypes);
  return 0;
}

template <int Operands>
int promoter(PyObject* ufunc, PyArray_DTypeMeta* const operand_dtypes[], PyArray_DTypeMeta* const signature[],
             PyArray_DTypeMeta* new_operand_dtypes[]) noexcept {
  return promote_to_float64(ufunc, operand_dtypes, signature, new_operand_dtypes, Operands);
}

struct UfuncRecord {
  const char* name;
  int inputs;
  int outputs;
  const char* docstring;
  PyArrayMethod_StridedLoop* loop;
  PyArrayMethod_PromoterFunction* promoter;
  const char* core_signature;  // null for an element-wise ufunc
};

// Whether a help text opens with "{name}({p1}, {p2}, ..., /, out=", the inputs those of the
// kernel's parameter list, so that the signature users read cannot drift from the kernel.
template <std::size_t N>
constexpr bool opens_with_signature(const char* name, const std::array<const char*, N>& parameters,
                                    std::string_view docstring) {
  const auto take = [&docstring](std::string_view expected) {
    if (!docstring.starts_with(expected)) return false;
    docstring.remove_prefix(expected.size());
    return true;
  };
  if (!take(name) || !take("(")) return false;
  for (const char* parameter : parameters) {
    if (!take(parameter) || !take(", ")) return false;
  }
  return take("/, out=");
}

template <class Kernel>
constexpr UfuncRecord record_of(const char* docstring) {
  if (!opens_with_signature(Kernel::name, Kernel::parameters, docstring)) {
    throw "a ufunc's help text opens with its signature, the inputs those of its kernel";
  }
  constexpr int inputs = static_cast<int>(Kernel::parameters.size());
  constexpr int outputs = static_cast<int>(outputs_of<Kernel>());
  return UfuncRecord{
      Kernel::name, inputs, outputs, docstring, &strided_loop<Kernel>, &promoter<inputs + outputs>, nullptr};
}

// The generalised ufunc over a table, its signature checked like the kernels' ones.
constexpr UfuncRecord tabulated_record() {
  constexpr std::array<const char*, 4> parameters{"u", "rho", "radius", "brightness"};
  if (!opens_with_signature("tabulated", parameters, docstrings::tabulated)) {
    throw "tabulated's help text opens with its signature";
  }
  return UfuncRecord{"tabulated",        4, 1, docstrings::tabulated, &tabulated_loop, &promoter<5>,
                     "(),(),(n),(n)->()"};
}

// The ufuncs in the order of __all__.
constexpr std::array<UfuncRecord, 17> ufunc_records{
    record_of<PointSourceKernel>(docstrings::point_source),
    record_of<UniformKernel>(docstrings::uniform),
    record_of<LinearKernel>(docstrings::linear),
    record_of<QuadraticKernel>(docstrings::quadratic),
    record_of<SquareRootKernel>(docstrings::square_root),
    record_of<LogarithmicKernel>(docstrings::logarithmic),
    record_of<Power2Kernel>(docstrings::power2),
    tabulated_record(),
    record_of<U1FromGammaKernel>(docstrings::u1_from_gamma),
    record_of<GammaFromU1Kernel>(docstrings::gamma_from_u1),
    record_of<PointSourceGradientKernel>(docstrings::point_source_and_gradient),
    record_of<UniformGradientKernel>(docstrings::uniform_and_gradient),
    record_of<LinearGradientKernel>(docstrings::linear_and_gradient),
    record_of<QuadraticGradientKernel>(docstrings::quadratic_and_gradient),
    record_of<SquareRootGradientKernel>(docstrings::square_root_and_gradient),
    record_of<LogarithmicGradientKernel>(docstrings::logarithmic_and_gradient),
    record_of<Power2GradientKernel>(docstrings::power2_and_gradient),
};

constexpr auto record_names = [] {
  std::array<const char*, ufunc_records.size()> names{};
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = ufunc_records[i].name;
  return names;
}();

constexpr int max_operands = 9;

OwnedReference make_ufunc(const UfuncRecord& record) {
  const int operands = record.inputs + record.outputs;
  OwnedReference ufunc(PyUFunc_FromFuncAndDataAndSignature(nullptr, nullptr, nullptr, 0, record.inputs,
                                                           record.outputs, PyUFunc_None, record.name,
                                                           record.docstring, 0, record.core_signature));
  if (!ufunc) return ufunc;
  std::array<PyArray_DTypeMeta*, max_operands> dtypes{};
  for (int i = 0; i < operands; ++i) dtypes[static_cast<std::size_t>(i)] = &PyArray_DoubleDType;
  PyType_Slot slots[] = {{NPY_METH_strided_loop, reinterpret_cast<void*>(record.loop)}, {0, nullptr}};
  PyArrayMethod_Spec method{
      record.name,   record.inputs, record.outputs, NPY_NO_CASTING, NPY_METH_NO_FLOATINGPOINT_ERRORS,
      dtypes.data(), slots};
  if (PyUFunc_AddLoopFromSpec(ufunc.get(), &method) < 0) return OwnedReference();

  OwnedReference any_dtypes(PyTuple_New(operands));
  if (!any_dtypes) return OwnedReference();
  for (Py_ssize_t i = 0; i < operands; ++i) PyTuple_SET_ITEM(any_dtypes.get(), i, Py_NewRef(Py_None));
  OwnedReference promoter(
      PyCapsule_New(reinterpret_cast<void*>(record.promoter), "numpy._ufunc_promoter", nullptr));
  if (!promoter || PyUFunc_AddPromoter(ufunc.get(), any_dtypes.get(), promoter.get()) < 0)
    return OwnedReference();

  // NumPy 2.1 and later let the help text replace the one NumPy writes, whose signature names
  // the inputs x1, x2, ...; earlier versions put theirs before it.
  OwnedReference text(PyUnicode_FromString(record.docstring));
  if (!text) return OwnedReference();
  if (PyObject_SetAttrString(ufunc.get(), "__doc__", text.get()) < 0) PyErr_Clear();
  return ufunc;
}

}  // namespace

std::span<const char* const> ufunc_names() noexcept { return record_names; }

int add_ufuncs(PyObject* namespace_dict) {
  try {
    if (PyArray_ImportNumPyAPI() < 0 || PyUFunc_ImportUFuncAPI() < 0) return -1;
    for (const UfuncRecord& record : ufunc_records) {
      OwnedReference ufunc = make_ufunc(record);
      if (!ufunc || PyDict_SetItemString(namespace_dict, record.name, ufunc.get()) < 0) return -1;
    }
    return 0;
  } catch (...) {
    if (handling_forced_unwind()) throw;
    raise_caught_failure();
    return -1;
  }
}

}  // namespace obrivane::module::fspl
