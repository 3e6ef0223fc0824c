// The help texts of the ufuncs <law>_and_gradient, in NumPy's docstring format, each opening
// with its call signature.
#pragma once

namespace obrivane::module::fspl::docstrings {

#define OBRIVANE_GRADIENT_KEYWORDS(outs) \
  "/, out=" outs ", *, where=True, casting='same_kind', order='K', dtype=None, subok=True"

#define OBRIVANE_GRADIENT_GEOMETRY                                                             \
  "u : array_like\n"                                                                           \
  "    Lens-source separation: the distance of the source centre from the lens, in Einstein\n" \
  "    radii.\n"                                                                               \
  "rho : array_like\n"                                                                         \
  "    Source radius in Einstein radii.\n"

#define OBRIVANE_GRADIENT_OUT                                                         \
  "out : tuple of ndarray and None, optional\n"                                       \
  "    Where to put the results, one array (or None) per output, as for any ufunc.\n" \
  "where : array_like, optional\n"                                                    \
  "    Where False, ``out`` keeps its values, as for any ufunc.\n"                    \
  "\n"                                                                                \
  "Returns\n"                                                                         \
  "-------\n"                                                                         \
  "A : scalar or ndarray\n"                                                           \
  "    The magnification, the same as the law's own ufunc gives to rounding.\n"       \
  "dA_du, dA_drho : scalar or ndarray\n"                                              \
  "    Its partial derivatives with respect to ``u`` and ``rho``.\n"

#define OBRIVANE_GRADIENT_NOTES                                                                    \
  "\n"                                                                                             \
  "Notes\n"                                                                                        \
  "-----\n"                                                                                        \
  "The derivatives are exact: the integrals over the source that give the magnification,\n"        \
  "differentiated under the integral sign, not finite differences. Each output is a float for\n"   \
  "scalar inputs, else a float64 array of the broadcast shape. Where the magnification is NaN\n"   \
  "(u < 0, rho <= 0, a NaN argument) every derivative is NaN; at u = inf the magnification is 1\n" \
  "and every derivative 0.\n"                                                                      \
  "\n"                                                                                             \
  "Raises\n"                                                                                       \
  "------\n"                                                                                       \
  "ValueError\n"                                                                                   \
  "    If the coefficients of some element describe no source, as for the law's own ufunc.\n"

inline constexpr const char* point_source_and_gradient =
    "point_source_and_gradient(u, " OBRIVANE_GRADIENT_KEYWORDS("(None, None)")
    ")\n"
    "\n"
    "Point-source magnification and its derivative with respect to u.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "u : array_like\n"
    "    Lens-source separation in Einstein radii.\n"
    "out : tuple of ndarray and None, optional\n"
    "    Where to put the results, one array (or None) per output, as for any ufunc.\n"
    "where : array_like, optional\n"
    "    Where False, ``out`` keeps its values, as for any ufunc.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "A : scalar or ndarray\n"
    "    The magnification (u^2 + 2) / (u sqrt(u^2 + 4)).\n"
    "dA_du : scalar or ndarray\n"
    "    Its derivative -8 / (u^2 (u^2 + 4)^(3/2)).\n"
    "\n"
    "Notes\n"
    "-----\n"
    "At u = 0 the magnification is inf and its derivative -inf; u < 0 or NaN gives NaN for both,\n"
    "and u = inf gives 1 and 0.\n";

inline constexpr const char* uniform_and_gradient =
    "uniform_and_gradient(u, rho, " OBRIVANE_GRADIENT_KEYWORDS("(None, None, None)")
    ")\n"
    "\n"
    "Magnification of a uniformly bright source disk, with its partial derivatives.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GRADIENT_GEOMETRY OBRIVANE_GRADIENT_OUT
    "\n"
    "Notes\n"
    "-----\n"
    "Both derivatives diverge logarithmically where the lens crosses the limb of a uniform disk;\n"
    "at u = rho exactly dA_du is -inf and dA_drho +inf. A limb-darkened law inherits them in\n"
    "proportion to its brightness at the limb (finite only for a dark limb). The derivatives\n"
    "are exact: the closed form in complete elliptic\n"
    "integrals differentiated, not finite differences. Where the magnification is NaN every\n"
    "derivative is NaN; at u = inf the magnification is 1 and both derivatives 0.\n";

inline constexpr const char* linear_and_gradient =
    "linear_and_gradient(u, rho, u1, " OBRIVANE_GRADIENT_KEYWORDS("(None, None, None, None)")
    ")\n"
    "\n"
    "Magnification of a source with the linear law I = 1 - u1 (1 - mu), with its gradient.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GRADIENT_GEOMETRY
    "u1 : array_like\n"
    "    Linear limb-darkening coefficient, u1 < 3.\n" OBRIVANE_GRADIENT_OUT
    "dA_du1 : scalar or ndarray\n"
    "    The partial derivative with respect to ``u1``.\n" OBRIVANE_GRADIENT_NOTES;

inline constexpr const char* quadratic_and_gradient =
    "quadratic_and_gradient(u, rho, a, b, " OBRIVANE_GRADIENT_KEYWORDS("(None, None, None, None, None)")
    ")\n"
    "\n"
    "Magnification of a source with the quadratic law I = 1 - a (1 - mu) - b (1 - mu)^2, with its\n"
    "gradient.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GRADIENT_GEOMETRY
    "a, b : array_like\n"
    "    Linear and quadratic coefficients.\n" OBRIVANE_GRADIENT_OUT
    "dA_da, dA_db : scalar or ndarray\n"
    "    The partial derivatives with respect to ``a`` and ``b``.\n" OBRIVANE_GRADIENT_NOTES;

inline constexpr const char* square_root_and_gradient =
    "square_root_and_gradient(u, rho, c, d, " OBRIVANE_GRADIENT_KEYWORDS("(None, None, None, None, None)")
    ")\n"
    "\n"
    "Magnification of a source with the square-root law I = 1 - c (1 - mu) - d (1 - sqrt(mu)),\n"
    "with its gradient.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GRADIENT_GEOMETRY
    "c, d : array_like\n"
    "    Linear and square-root coefficients.\n" OBRIVANE_GRADIENT_OUT
    "dA_dc, dA_dd : scalar or ndarray\n"
    "    The partial derivatives with respect to ``c`` and ``d``.\n" OBRIVANE_GRADIENT_NOTES;

inline constexpr const char* logarithmic_and_gradient =
    "logarithmic_and_gradient(u, rho, e, f, " OBRIVANE_GRADIENT_KEYWORDS("(None, None, None, None, None)")
    ")\n"
    "\n"
    "Magnification of a source with the logarithmic law I = 1 - e (1 - mu) - f mu ln(mu), with its\n"
    "gradient.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GRADIENT_GEOMETRY
    "e, f : array_like\n"
    "    Linear and logarithmic coefficients.\n" OBRIVANE_GRADIENT_OUT
    "dA_de, dA_df : scalar or ndarray\n"
    "    The partial derivatives with respect to ``e`` and ``f``.\n" OBRIVANE_GRADIENT_NOTES;

inline constexpr const char* power2_and_gradient =
    "power2_and_gradient(u, rho, c, alpha, " OBRIVANE_GRADIENT_KEYWORDS("(None, None, None, None, None)")
    ")\n"
    "\n"
    "Magnification of a source with the power-2 law I = 1 - c (1 - mu^alpha), with its gradient.\n"
    "\n"
    "Parameters\n"
    "----------\n" OBRIVANE_GRADIENT_GEOMETRY
    "c : array_like\n"
    "    Strength of the darkening.\n"
    "alpha : array_like\n"
    "    Exponent, alpha >= 0.\n" OBRIVANE_GRADIENT_OUT
    "dA_dc, dA_dalpha : scalar or ndarray\n"
    "    The partial derivatives with respect to ``c`` and ``alpha``.\n" OBRIVANE_GRADIENT_NOTES;

#undef OBRIVANE_GRADIENT_KEYWORDS
#undef OBRIVANE_GRADIENT_GEOMETRY
#undef OBRIVANE_GRADIENT_OUT
#undef OBRIVANE_GRADIENT_NOTES

}  // namespace obrivane::module::fspl::docstrings
