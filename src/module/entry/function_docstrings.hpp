// The help texts of the module and of its eight functions. Each function's text starts with its
// signature line and "\n--\n\n", from which the interpreter derives __text_signature__; the
// description after it is what help() shows.
#pragma once

namespace obrivane::module::docstrings {

inline constexpr const char* module =
    R"doc(Finite-source point-lens microlensing magnifications, a Python module implemented in C++.

Lengths: separations l and ring radii r are in units of the source (stellar)
radius; re (Einstein radius) and rstar (stellar radius) share any one length
unit, so the source radius in Einstein radii is rho = rstar / re and a
separation l is u = l * rho Einstein radii.

Uniform source:      witt_mao_magnification, multi_witt_mao_magnification
Thin ring:           heyrovsky_magnification
Limb darkening       integrated_witt_mao_magnification,
I = 1 - 0.6 (1 - mu): integrated_heyrovsky_magnification
Tabulated profile:   integrated_flux_map_witt_mao_magnification,
                     integrated_flux_map_heyrovsky_magnification,
                     discrete_flux_map_heyrovsky_magnification

Sequence arguments accept lists, tuples, ranges and NumPy arrays; results are
Python floats and lists of floats.)doc";

inline constexpr const char* witt_mao_magnification = R"doc(witt_mao_magnification(l, re, rstar)
--

Magnification of a uniformly bright source disk by a point lens.

Witt & Mao (1994) closed form with complete elliptic integrals, one value per
separation, evaluated in parallel on the module's worker pool.

Parameters
----------
l : sequence of float
    Lens-source separations, in source radii.
re : float
    Einstein radius (any length unit).
rstar : float
    Source radius, in the unit of re.

Returns
-------
list of float
    One magnification per element of l, in the order of l.

Raises
------
TypeError
    An argument that is not a sequence of floats (l) or a float (re, rstar).
Elements without a finite answer (NaN or negative separations, re = 0) are NaN.)doc";

inline constexpr const char* integrated_witt_mao_magnification =
    R"doc(integrated_witt_mao_magnification(l, re, rstar)
--

Magnification of a linearly limb-darkened source disk.

The source brightness is I(mu) = 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2) at
fractional radius x (Gamma = 0.5 in the Gamma convention); the result is the
brightness-weighted mean of the point-lens magnification over the source,
the same quantity as integrated_heyrovsky_magnification returns.

Parameters
----------
l : sequence of float
    Lens-source separations, in source radii.
re : float
    Einstein radius (any length unit).
rstar : float
    Source radius, in the unit of re.

Returns
-------
list of float
    One magnification per element of l, in the order of l.

Raises
------
TypeError
    An argument that is not a sequence of floats (l) or a float (re, rstar).
Elements without a finite answer are NaN.)doc";

inline constexpr const char* integrated_flux_map_witt_mao_magnification =
    R"doc(integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf)
--

Magnification of a source with a tabulated radial profile.

The profile is the linear interpolation of the table (bl, bf), zero outside
[bl[0], bl[-1]]; the result is normalised by the profile's flux, so the scale
of bf does not matter.

Parameters
----------
l : sequence of float
    Lens-source separations, in source radii.
re : float
    Einstein radius (any length unit).
rstar : float
    Source radius, in the unit of re.
bl : sequence of float
    Table radii on the source, in source radii, non-decreasing (equal
    neighbours make a jump), within [0, 1].
bf : sequence of float
    Surface brightness at each radius of bl (any scale).

Returns
-------
list of float
    One magnification per element of l, in the order of l.

Raises
------
TypeError
    An argument of the wrong kind; the message names the parameter.
pyo3_runtime.PanicException
    bl and bf of different lengths (derives from BaseException).
A table with no flux (empty, or all zero), with a non-finite value or with
radii out of order gives NaN elements. A single row is its brightness over
the whole disk, whatever its radius: the uniform disk.)doc";

inline constexpr const char* multi_witt_mao_magnification = R"doc(multi_witt_mao_magnification(l, re, rstar)
--

Uniform-disk magnifications for every combination of Einstein and source radius.

Element i * len(rstar) + j of the result holds, for re[i] and rstar[j], the
list that witt_mao_magnification(l, re[i], rstar[j]) returns, bit for bit.

Parameters
----------
l : sequence of float
    Lens-source separations, in source radii.
re : sequence of float
    Einstein radii (the outer index).
rstar : sequence of float
    Source radii, in the unit of re (the inner index).

Returns
-------
list of list of float
    len(re) * len(rstar) lists, each with one magnification per element of l.

Raises
------
TypeError
    An argument that is not a sequence of floats.
Elements without a finite answer are NaN.)doc";

inline constexpr const char* heyrovsky_magnification = R"doc(heyrovsky_magnification(l, r, re, rstar)
--

Magnification of a thin, uniformly bright ring on the source by a point lens.

The mean point-lens magnification over a circle of radius r concentric with
the source, by Heyrovsky's (2003) closed form with complete elliptic integrals
of the first and third kind, written in ratios with the complements of the
parameters formed directly when the ring passes within 1e-5 source radii of
the lens (or 1e-3 of l + r), or passes it well outside the Einstein radius.

Parameters
----------
l : float
    Lens-source separation, in source radii.
r : float
    Ring radius, in source radii.
re : float
    Einstein radius (any length unit).
rstar : float
    Source radius, in the unit of re.

Returns
-------
float
    The magnification; inf for a ring through the lens (r == l).

Raises
------
TypeError
    An argument that is not a float; the message names the parameter.
RuntimeError
    An elliptic integral failed; the message is that integral's.
Arguments without a finite answer give NaN.)doc";

inline constexpr const char* integrated_heyrovsky_magnification =
    R"doc(integrated_heyrovsky_magnification(l, re, rstar)
--

Magnification of a linearly limb-darkened source disk.

The same quantity as integrated_witt_mao_magnification: the brightness-
weighted mean of the point-lens magnification over a source with
I(mu) = 1 - 0.6 (1 - mu), the sum of thin-ring magnifications over the
source radius.

Parameters
----------
l : sequence of float
    Lens-source separations, in source radii.
re : float
    Einstein radius (any length unit).
rstar : float
    Source radius, in the unit of re.

Returns
-------
list of float
    One magnification per element of l, in the order of l.

Raises
------
TypeError
    An argument that is not a sequence of floats (l) or a float (re, rstar).
Elements without a finite answer are NaN.)doc";

inline constexpr const char* integrated_flux_map_heyrovsky_magnification =
    R"doc(integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)
--

Magnification of a source with a tabulated radial profile.

The same quantity as integrated_flux_map_witt_mao_magnification: the
profile is the linear interpolation of the table (bl, bf), zero outside
[bl[0], bl[-1]]; the result is normalised by the profile's flux, so the scale
of bf does not matter.

Parameters
----------
l : sequence of float
    Lens-source separations, in source radii.
re : float
    Einstein radius (any length unit).
rstar : float
    Source radius, in the unit of re.
bl : sequence of float
    Table radii on the source, in source radii, non-decreasing (equal
    neighbours make a jump), within [0, 1].
bf : sequence of float
    Surface brightness at each radius of bl (any scale).

Returns
-------
list of float
    One magnification per element of l, in the order of l.

Raises
------
TypeError
    An argument of the wrong kind; the message names the parameter.
pyo3_runtime.PanicException
    bl and bf of different lengths (derives from BaseException).
A table with no flux (empty, or all zero), with a non-finite value or with
radii out of order gives NaN elements. A single row is its brightness over
the whole disk, whatever its radius: the uniform disk.)doc";

inline constexpr const char* discrete_flux_map_heyrovsky_magnification =
    R"doc(discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)
--

Weighted sum of thin-ring magnifications, one ring per table row.

For each separation, the sum over j of bf[j] times the thin-ring
magnification at radius bl[j]. The sum is not normalised: divide by the sum
of bf (or choose bf summing to 1) for a magnification. A plain sum, it takes
the rows in any order.

Parameters
----------
l : sequence of float
    Lens-source separations, in source radii.
re : float
    Einstein radius (any length unit).
rstar : float
    Source radius, in the unit of re.
bl : sequence of float
    Ring radii, in source radii.
bf : sequence of float
    Weight of each ring.

Returns
-------
list of float
    One weighted sum per element of l, in the order of l.

Raises
------
TypeError
    An argument of the wrong kind; the message names the parameter.
RuntimeError
    An elliptic integral failed for some ring; no partial result.
pyo3_runtime.PanicException
    bl and bf of different lengths (derives from BaseException).)doc";

}  // namespace obrivane::module::docstrings
