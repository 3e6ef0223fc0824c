// Constants shared by the Carlson and Legendre elliptic-integral routines, as binary64 decimals.
#pragma once

#include <numbers>

namespace obrivane::numeric::elliptic_constants {

inline constexpr double pi = std::numbers::pi;
inline constexpr double half_pi = std::numbers::pi / 2;
inline constexpr double three_pi = 9.42477796076938;

// Machine epsilon 2^-52: how close m or n may come to 1 before Pi(n, m) is taken as infinite.
inline constexpr double epsilon = 2.220446049250313e-16;

// Relative tolerance 2.7 epsilon of the arithmetic-geometric-mean loops.
inline constexpr double agm_tolerance = 5.995204332975846e-16;

// Duplication stop tests: after k passes the truncation error of the seventh-order series is
// below epsilon once 4^-k times the argument spread, scaled by these factors, drops under A.
inline constexpr double rf_stop_factor = 78.8959690786408;    // (3 epsilon)^(-1/8)
inline constexpr double rd_stop_factor = 107.63474115247546;  // (epsilon / 4)^(-1/8)
inline constexpr double rd_stop_margin = 1.2;
inline constexpr double rj_stop_factor = 110.67925377307274;  // (epsilon / 5)^(-1/8)

// R_J(x, y, y, p) reduces to two R_C when y and p differ by more than this ratio.
inline constexpr double rj_ratio_bound = 1.2;

// Duplication pass limits.
inline constexpr int rf_max_passes = 11;
inline constexpr int rd_max_passes = 50;
inline constexpr int rj_max_passes = 100;

}  // namespace obrivane::numeric::elliptic_constants
