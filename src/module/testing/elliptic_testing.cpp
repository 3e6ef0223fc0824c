// Test-only access to the elliptic integrals. Each function returns the routine's value as a
// float, or raises RuntimeError with the routine's message.
//
//   elliprc(x, y), elliprf(x, y, z), elliprd(x, y, z), elliprj(x, y, z, p), elliprg(x, y, z)
//   _elliprj(x, y, z, p)          R_J for p > 0 without argument checks
//   ellipk(m), ellipe(m), ellippi(n, m)
//   ellippi_vc(n, m, vc)          Pi(n, m) for 0 < n < 1 given vc = 1 - n
//   cel(kc, p, a, b)              Bulirsch's general complete integral
//   cel_pair(kc, root_p, a1, b1, a2, b2) -> [cel(kc, 1, a1, b1), cel(kc, root_p^2, a2, b2)]
#include <Python.h>

#include <vector>

#include "models/model_result.hpp"
#include "module/call_entry.hpp"
#include "module/function_description.hpp"
#include "module/testing/testing_methods.hpp"
#include "numeric/carlson/_elliprj.hpp"
#include "numeric/carlson/elliprc.hpp"
#include "numeric/carlson/elliprd.hpp"
#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/elliprg.hpp"
#include "numeric/carlson/elliprj.hpp"
#include "numeric/legendre/cel.hpp"
#include "numeric/legendre/cel_pair.hpp"
#include "numeric/legendre/ellipe.hpp"
#include "numeric/legendre/ellipk.hpp"
#include "numeric/legendre/ellippi.hpp"
#include "numeric/legendre/ellippi_vc.hpp"

namespace {

using obrivane::module::call_entry;
using obrivane::module::FunctionDescription;
namespace numeric = obrivane::numeric;

constexpr const char* x_y[] = {"x", "y"};
constexpr const char* x_y_z[] = {"x", "y", "z"};
constexpr const char* x_y_z_p[] = {"x", "y", "z", "p"};
constexpr const char* m_only[] = {"m"};
constexpr const char* n_m[] = {"n", "m"};
constexpr const char* n_m_vc[] = {"n", "m", "vc"};
constexpr const char* kc_p_a_b[] = {"kc", "p", "a", "b"};
constexpr const char* kc_root_p_a1_b1_a2_b2[] = {"kc", "root_p", "a1", "b1", "a2", "b2"};

constexpr FunctionDescription elliprc_description{"elliprc", x_y};
constexpr FunctionDescription elliprf_description{"elliprf", x_y_z};
constexpr FunctionDescription elliprd_description{"elliprd", x_y_z};
constexpr FunctionDescription elliprj_description{"elliprj", x_y_z_p};
constexpr FunctionDescription unchecked_elliprj_description{"_elliprj", x_y_z_p};
constexpr FunctionDescription elliprg_description{"elliprg", x_y_z};
constexpr FunctionDescription ellipk_description{"ellipk", m_only};
constexpr FunctionDescription ellipe_description{"ellipe", m_only};
constexpr FunctionDescription ellippi_description{"ellippi", n_m};
constexpr FunctionDescription ellippi_vc_description{"ellippi_vc", n_m_vc};
constexpr FunctionDescription cel_description{"cel", kc_p_a_b};
constexpr FunctionDescription cel_pair_description{"cel_pair", kc_root_p_a1_b1_a2_b2};

obrivane::models::ModelResult<std::vector<double>> cel_pair_for_python(double kc, double root_p, double a1,
                                                                       double b1, double a2, double b2) {
  const numeric::CelPair pair = numeric::cel_pair(kc, root_p, a1, b1, a2, b2);
  if (!pair.ok()) return obrivane::models::ModelError{pair.message};
  return std::vector<double>{pair.unit, pair.general};
}

// The METH_FASTCALL | METH_KEYWORDS entry of one routine.
template <auto Routine, const FunctionDescription& Description>
PyObject* routine_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_entry<Routine>(Description, args, nargs, kwnames);
}

constexpr auto& elliprc_entry = routine_entry<&numeric::elliprc, elliprc_description>;
constexpr auto& elliprf_entry = routine_entry<&numeric::elliprf, elliprf_description>;
constexpr auto& elliprd_entry = routine_entry<&numeric::elliprd, elliprd_description>;
constexpr auto& elliprj_entry = routine_entry<&numeric::elliprj, elliprj_description>;
constexpr auto& unchecked_elliprj_entry = routine_entry<&numeric::_elliprj, unchecked_elliprj_description>;
constexpr auto& elliprg_entry = routine_entry<&numeric::elliprg, elliprg_description>;
constexpr auto& ellipk_entry = routine_entry<&numeric::ellipk, ellipk_description>;
constexpr auto& ellipe_entry = routine_entry<&numeric::ellipe, ellipe_description>;
constexpr auto& ellippi_entry = routine_entry<&numeric::ellippi, ellippi_description>;
constexpr auto& ellippi_vc_entry = routine_entry<&numeric::ellippi_vc, ellippi_vc_description>;
constexpr auto& cel_entry = routine_entry<&numeric::cel, cel_description>;
constexpr auto& cel_pair_entry = routine_entry<&cel_pair_for_python, cel_pair_description>;

}  // namespace

PyMethodDef elliptic_testing_methods[] = {
    OBRIVANE_FASTCALL_METHOD(elliprc, elliprc_entry, "elliprc(x, y)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(elliprf, elliprf_entry, "elliprf(x, y, z)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(elliprd, elliprd_entry, "elliprd(x, y, z)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(elliprj, elliprj_entry, "elliprj(x, y, z, p)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(_elliprj, unchecked_elliprj_entry, "_elliprj(x, y, z, p)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(elliprg, elliprg_entry, "elliprg(x, y, z)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(ellipk, ellipk_entry, "ellipk(m)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(ellipe, ellipe_entry, "ellipe(m)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(ellippi, ellippi_entry, "ellippi(n, m)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(ellippi_vc, ellippi_vc_entry, "ellippi_vc(n, m, vc)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(cel, cel_entry, "cel(kc, p, a, b)\n--\n\n"),
    OBRIVANE_FASTCALL_METHOD(cel_pair, cel_pair_entry, "cel_pair(kc, root_p, a1, b1, a2, b2)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};
