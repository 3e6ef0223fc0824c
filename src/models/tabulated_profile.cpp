// Sources whose brightness profile is a table of radii bl and brightness values bf: a weighted
// sum of thin rings, one per row, or the profile-weighted integrals with the table interpolated
// linearly (zero outside the tabulated radii) and normalised by its own flux.
#include "models/tabulated_profile.hpp"

#include <cstddef>
#include <span>
#include <string>
#include <utility>

#include "models/internal_failure.hpp"
#include "models/parallel/cancellation.hpp"
#include "models/profile_weighted.hpp"
#include "models/thin_ring.hpp"
#include "numeric/integrate.hpp"
#include "numeric/interp.hpp"

namespace obrivane::models {
namespace {

constexpr double two_pi = 6.283185307179586;
constexpr double target_error = 1e-16;

void check_table_lengths(const std::vector<double>& bl, const std::vector<double>& bf) {
  if (bl.size() != bf.size()) {
    fail_internal("assertion `left == right` failed\n  left: " + std::to_string(bl.size()) +
                  "\n right: " + std::to_string(bf.size()));
  }
}

// Runs one profile-weighted family with the interpolated table as the profile and the table's
// flux integral as the normalisation. The interpolation segments are built once for the call.
template <class Family>
ModelResult<std::vector<double>> with_tabulated_profile(Family family, std::vector<double> l, double re,
                                                        double rstar, const std::vector<double>& bl,
                                                        const std::vector<double>& bf) {
  const numeric::InterpolationTable table{std::span<const double>(bl), std::span<const double>(bf)};
  const SourceProfile profile = [&table](double x) { return table(x, numeric::fill_with_zero); };
  const double flux =
      numeric::integrate([&profile](double x) { return (x * two_pi) * profile(x); }, 0.0, 1.0, target_error)
          .integral;
  return family(std::move(l), re, rstar, profile, flux);
}

}  // namespace

ModelResult<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                           double rstar,
                                                                           std::vector<double> bl,
                                                                           std::vector<double> bf) {
  check_table_lengths(bl, bf);
  std::vector<double> result;
  result.reserve(l.size());
  for (const double separation : l) {
    double sum = 0.0;
    for (std::size_t row = 0; row < bl.size(); ++row) {
      parallel::interruption_point();
      ModelResult<double> ring = heyrovsky_magnification(separation, bl[row], re, rstar);
      if (!ring.ok()) return ring.error();
      sum = sum + ring.value() * bf[row];
    }
    result.push_back(sum);
  }
  return result;
}

ModelResult<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double> l, double re,
                                                                            double rstar,
                                                                            std::vector<double> bl,
                                                                            std::vector<double> bf) {
  check_table_lengths(bl, bf);
  return with_tabulated_profile(_integrated_witt_mao_magnification, std::move(l), re, rstar, bl, bf);
}

ModelResult<std::vector<double>> integrated_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                             double rstar,
                                                                             std::vector<double> bl,
                                                                             std::vector<double> bf) {
  check_table_lengths(bl, bf);
  return with_tabulated_profile(_integrated_heyrovsky_magnification, std::move(l), re, rstar, bl, bf);
}

}  // namespace obrivane::models
