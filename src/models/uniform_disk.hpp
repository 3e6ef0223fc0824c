// Magnification of a uniformly bright circular source by a point-mass lens (Witt & Mao 1994).
#pragma once

#include <vector>

namespace obrivane::models {

// The magnification at separation x (in source radii) of a source of radius rho (in Einstein
// radii); rho_squared is rho*rho, shared by every element of a batch. Never fails: a failed
// elliptic integral gives NaN.
double uniform_disk_magnification(double x, double rho, double rho_squared) noexcept;

// The same magnification at separation u in Einstein radii (the x-form computes u = x*rho first
// and calls this one).
double uniform_disk_magnification_at_u(double u, double rho, double rho_squared) noexcept;

// The same magnification at u Einstein radii, free of cancellation everywhere but not bit for bit
// the batch form: Bulirsch's two-integral form (uniform_disk_fast.hpp) wherever the disk reaches
// within four radii of the lens, the mean-value series beyond (for a zero radius too, the point
// lens). For the profile-weighted models, which need it to a few ulps.
double uniform_disk_magnification_accurate(double u, double rho) noexcept;

// The same at u Einstein radii through Carlson's forms with the complements 1 - n and 1 - m from
// exact identities inside four radii, the mean-value series beyond: the x-form's path for the
// tiniest sources (at a rescaled radius), and the form the accurate one replaced.
double uniform_disk_magnification_carlson(double u, double rho) noexcept;

// The magnification of every separation of l, evaluated in parallel on the worker pool,
// in the order of l.
std::vector<double> witt_mao_magnification(std::vector<double> l, double re, double rstar);

// Every combination of an Einstein radius (outer index) with a source radius (inner index).
std::vector<std::vector<double>> multi_witt_mao_magnification(std::vector<double> l, std::vector<double> re,
                                                              std::vector<double> rstar);

}  // namespace obrivane::models
