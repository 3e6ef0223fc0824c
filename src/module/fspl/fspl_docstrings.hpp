// The help texts of obrivane.fspl and its ufuncs, in NumPy's docstring format. Each begins with
// its call signature, which NumPy would otherwise write with positional names x1, x2, ...
#pragma once

namespace obrivane::module::fspl::docstrings {

#define OBRIVANE_UFUNC_KEYWORDS \
  "/, out=None, *, where=True, casting='same_kind', order='K', dtype=None, subok=True"

#define OBRIVANE_GEOMETRY_PARAMETERS                                                           \
  "u : array_like\n"                                                                           \
  "    Lens-source separation: the distance of the source centre from the lens, in Einstein\n" \
  "    radii.\n"                                                                               \
  "rho : array_like\n"                                                                         \
  "    Source radius in Einstein radii.\n"

#define OBRIVANE_COMMON_OUTPUT                                                      \
  "out : ndarray, None, or tuple of ndarray and None, optional\n"                   \
  "    Where to put the result, as for any ufunc.\n"                                \
  "where : array_like, optional\n"                                                  \
  "    Where False, ``out`` keeps its value, as for any ufunc.\n"                   \
  "\n"                                                                              \
  "Returns\n"                                                                       \
  "-------\n"                                                                       \
  "A : scalar or ndarray\n"                                                         \
  "    The magnification: a float for scalar inputs, else a float64 array of the\n" \
  "    broadcast shape.\n"

#define OBRIVANE_LAW_NOTES                                                                        \
  "The magnification is the mean of the point-lens magnification over the source disk,\n"         \
  "weighted by the law's surface brightness I(mu), mu = sqrt(1 - r^2/rho^2), and computed for\n"  \
  "the law as written (not through a table), to about 1e-13 relative for rho up to 3 and 1e-11\n" \
  "up to 1e3. Every argument broadcasts, coefficients included, so one call serves points of\n"   \
  "several bands. A separation or radius without a value (u < 0, rho <= 0, NaN) gives NaN, and\n" \
  "so does a NaN coefficient. A law that is negative somewhere is computed as written.\n"         \
  "\n"                                                                                            \
  "Raises\n"                                                                                      \
  "------\n"                                                                                      \
  "ValueError\n"                                                                                  \
  "    If the coefficients of some element give a non-positive total flux.\n"

inline constexpr const char* module =
    "Finite-source point-lens magnifications as NumPy ufuncs, in Einstein units.\n"
    "\n"
    "Separations ``u`` and source radii ``rho`` are in Einstein radii. Every function is a NumPy\n"
    "ufunc: arguments broadcast against each other, scalars give floats and arrays give float64\n"
    "arrays, and ``out=``, ``where=`` and array types that implement ``__array_ufunc__`` (Dask,\n"
    "xarray) work as for any ufunc. Large arrays are evaluated on the worker pool without the\n"
    "interpreter lock, bit-identical for any pool size; Ctrl-C stops a long call.\n"
    "\n"
    "Limb-darkening laws, with mu = sqrt(1 - r^2/rho^2) at the distance r from the source centre:\n"
    "\n"
    "- ``uniform(u, rho)``: I = 1;\n"
    "- ``linear(u, rho, u1)``: I = 1 - u1 (1 - mu);\n"
    "- ``quadratic(u, rho, a, b)``: I = 1 - a (1 - mu) - b (1 - mu)^2;\n"
    "- ``square_root(u, rho, c, d)``: I = 1 - c (1 - mu) - d (1 - sqrt(mu));\n"
    "- ``logarithmic(u, rho, e, f)``: I = 1 - e (1 - mu) - f mu ln(mu);\n"
    "- ``power2(u, rho, c, alpha)``: I = 1 - c (1 - mu^alpha);\n"
    "- ``tabulated(u, rho, radius, brightness)``: the linear interpolation of a table.\n"
    "\n"
    "``point_source(u)`` is the point-source magnification, and ``u1_from_gamma`` and\n"
    "``gamma_from_u1`` convert between the linear coefficient u1 and Gamma = 2 u1 / (3 - u1).\n"
    "NumPy 2.0 or later is needed; it is imported on first use of a function.";

inline constexpr const char* point_source =
    "point_source(u, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Point-source magnification A(u) = (u^2 + 2) / (u sqrt(u^2 + 4)).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "u : array_like\n"
    "    Lens-source separation in Einstein radii.\n" OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "Infinite at u = 0, NaN for u < 0 or NaN, and 1 at u = inf; computed without cancellation for\n"
    "large u.\n";

inline constexpr const char* uniform =
    "uniform(u, rho, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Magnification of a uniformly bright source disk.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GEOMETRY_PARAMETERS OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "The Witt-Mao closed form in complete elliptic integrals, written free of cancellation, and the\n"
    "mean-value series far from the source: about 1e-14 relative everywhere. The low-level\n"
    "``obrivane.witt_mao_magnification`` keeps a fixed evaluation order instead, which loses digits\n"
    "near the source for some radii. A separation or radius without a value (u < 0, rho <= 0, NaN)\n"
    "gives NaN.\n";

inline constexpr const char* linear =
    "linear(u, rho, u1, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Magnification of a source with the linear limb-darkening law I = 1 - u1 (1 - mu).\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GEOMETRY_PARAMETERS
    "u1 : array_like\n"
    "    Linear limb-darkening coefficient (``u1_from_gamma`` converts from Gamma).\n" OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "The total flux is proportional to 1 - u1/3, so u1 < 3 is required.\n" OBRIVANE_LAW_NOTES;

inline constexpr const char* quadratic =
    "quadratic(u, rho, a, b, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Magnification of a source with the quadratic law I = 1 - a (1 - mu) - b (1 - mu)^2.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GEOMETRY_PARAMETERS
    "a, b : array_like\n"
    "    Linear and quadratic coefficients.\n" OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "The total flux is proportional to 1 - a/3 - b/6.\n" OBRIVANE_LAW_NOTES;

inline constexpr const char* square_root =
    "square_root(u, rho, c, d, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Magnification of a source with the square-root law I = 1 - c (1 - mu) - d (1 - sqrt(mu)).\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GEOMETRY_PARAMETERS
    "c, d : array_like\n"
    "    Linear and square-root coefficients.\n" OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "The total flux is proportional to 1 - c/3 - d/5.\n" OBRIVANE_LAW_NOTES;

inline constexpr const char* logarithmic =
    "logarithmic(u, rho, e, f, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Magnification of a source with the logarithmic law I = 1 - e (1 - mu) - f mu ln(mu).\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GEOMETRY_PARAMETERS
    "e, f : array_like\n"
    "    Linear and logarithmic coefficients.\n" OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "The total flux is proportional to 1 - e/3 + 2f/9.\n" OBRIVANE_LAW_NOTES;

inline constexpr const char* power2 =
    "power2(u, rho, c, alpha, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Magnification of a source with the power-2 law I = 1 - c (1 - mu^alpha).\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GEOMETRY_PARAMETERS
    "c : array_like\n"
    "    Strength of the darkening.\n"
    "alpha : array_like\n"
    "    Exponent, alpha >= 0.\n" OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "The total flux is proportional to 1 - c alpha / (alpha + 2). A negative exponent raises\n"
    "ValueError, like a non-positive flux.\n" OBRIVANE_LAW_NOTES;

inline constexpr const char* tabulated =
    "tabulated(u, rho, radius, brightness, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Magnification of a source whose radial brightness profile is a table.\n"
    "\n"
    "A generalised ufunc of signature ``(),(),(n),(n)->()``: the table's radii and brightness values\n"
    "are the last axis of ``radius`` and ``brightness``, and the other axes broadcast with ``u`` and\n"
    "``rho``; one table for every point is prepared once.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GEOMETRY_PARAMETERS
    "radius : array_like, last axis of length n\n"
    "    Radii of the table, in units of the source radius (0 at the centre, 1 at the limb), in\n"
    "    non-decreasing order; a repeated radius is a jump of the profile.\n"
    "brightness : array_like, last axis of length n\n"
    "    Surface brightness at each radius, in any unit.\n" OBRIVANE_COMMON_OUTPUT
    "\n"
    "Notes\n"
    "-----\n"
    "The profile is the linear interpolation of the table, zero outside the tabulated radii and cut\n"
    "at the limb, and the magnification is exact for that profile: the same values as\n"
    "``obrivane.integrated_flux_map_witt_mao_magnification(u / rho, 1, rho, radius, brightness)``.\n"
    "A table with a non-finite entry or no flux gives NaN, as does geometry without a value.\n";

inline constexpr const char* u1_from_gamma =
    "u1_from_gamma(gamma, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Linear limb-darkening coefficient u1 = 3 Gamma / (2 + Gamma) from Gamma.\n"
    "\n"
    "Gamma is the coefficient of the linear law written with unit mean surface brightness,\n"
    "I = 1 - Gamma (1 - 3 mu / 2).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "gamma : array_like\n"
    "    The coefficient Gamma.\n"
    "out : ndarray, None, or tuple of ndarray and None, optional\n"
    "    Where to put the result, as for any ufunc.\n"
    "where : array_like, optional\n"
    "    Where False, ``out`` keeps its value, as for any ufunc.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "u1 : scalar or ndarray\n"
    "    The coefficient u1 of I = 1 - u1 (1 - mu).\n";

inline constexpr const char* gamma_from_u1 =
    "gamma_from_u1(u1, " OBRIVANE_UFUNC_KEYWORDS
    ")\n"
    "\n"
    "Gamma = 2 u1 / (3 - u1) from the linear limb-darkening coefficient u1.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "u1 : array_like\n"
    "    The coefficient u1 of I = 1 - u1 (1 - mu).\n"
    "out : ndarray, None, or tuple of ndarray and None, optional\n"
    "    Where to put the result, as for any ufunc.\n"
    "where : array_like, optional\n"
    "    Where False, ``out`` keeps its value, as for any ufunc.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "gamma : scalar or ndarray\n"
    "    The coefficient Gamma of I = 1 - Gamma (1 - 3 mu / 2).\n";

#undef OBRIVANE_UFUNC_KEYWORDS
#undef OBRIVANE_GEOMETRY_PARAMETERS
#undef OBRIVANE_COMMON_OUTPUT
#undef OBRIVANE_LAW_NOTES

}  // namespace obrivane::module::fspl::docstrings
