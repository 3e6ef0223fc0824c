// Magnification of a source whose radial brightness profile is given as a table (bl radii in
// stellar radii, bf brightness values).
#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "models/disk_mean_value_series.hpp"
#include "models/model_result.hpp"
#include "models/tabulated_interpolant.hpp"

namespace obrivane::models {

// The sum over the table's rows of bf[j] times the thin-ring magnification at radius bl[j]: no
// interpolation, no normalisation, the rows in any order; the first failing ring's error.
ModelResult<std::vector<double>> discrete_ring_sum_magnification(const std::vector<double>& l, double re,
                                                                 double rstar, const std::vector<double>& bl,
                                                                 const std::vector<double>& bf);

// The exact magnification of the profile the table interpolates linearly, zero outside it, at
// every separation of l (source radii), on the worker pool; NaN throughout for radii that
// describe no source or a table that describes no profile. Tables of unequal lengths are an
// internal failure.
std::vector<double> tabulated_magnification(const std::vector<double>& l, double re, double rstar,
                                            const std::vector<double>& bl, const std::vector<double>& bf);

// The magnification by parts over the profile's pieces, for a lens within four source radii of
// the centre (0 <= l < 4) and a source neither too small nor too large for the disk magnification
// (the integrated functions keep to that range and treat the rest by scaling and limits).
double tabulated_near_magnification(const TabulatedInterpolant& profile, double l, double rho);

class KnotForm;

// A table made ready once for the magnifications of many separations and source radii: its
// interpolant, the weights of its mean-value series and, for a long table, its knot groups.
class PreparedTable {
 public:
  PreparedTable(std::span<const double> radii, std::span<const double> brightness);
  ~PreparedTable();
  PreparedTable(const PreparedTable&) = delete;
  PreparedTable& operator=(const PreparedTable&) = delete;

  // The magnification at separation u of a source of radius rho, both in Einstein radii, the
  // same as the integrated flux-map functions give for l = u/rho, re = 1 and rstar = rho; 1 at
  // u = inf, NaN where the geometry or the table has no value.
  [[nodiscard]] double magnification(double u, double rho) const;

 private:
  TabulatedInterpolant profile_;
  std::array<double, disk_mean_value_terms> weights_{};
  std::unique_ptr<const KnotForm> knots_;
  bool is_mean_;
};

}  // namespace obrivane::models
