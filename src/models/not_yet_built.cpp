// Placeholders for model operations that are not built yet: every call fails loudly with an
// internal failure rather than returning a made-up value. Each is removed as its model lands.
#include "models/internal_failure.hpp"
#include "models/profile_weighted.hpp"
#include "models/tabulated_profile.hpp"
#include "models/thin_ring.hpp"
#include "models/uniform_disk.hpp"

namespace obrivane::models {

// uniform disk
double uniform_disk_magnification(double, const double&, const double&) noexcept { return 0.0 / 0.0; }
std::vector<double> witt_mao_magnification(std::vector<double>, double, double) {
  fail_internal("witt_mao_magnification is not built yet");
}
std::vector<std::vector<double>> multi_witt_mao_magnification(std::vector<double>, std::vector<double>,
                                                              std::vector<double>) {
  fail_internal("multi_witt_mao_magnification is not built yet");
}

// thin ring
ModelResult<double> heyrovsky_magnification(double, double, double, double) {
  fail_internal("heyrovsky_magnification is not built yet");
}

// profile weighted
ModelResult<std::vector<double>> integrated_witt_mao_magnification(std::vector<double>, double, double) {
  fail_internal("integrated_witt_mao_magnification is not built yet");
}
ModelResult<std::vector<double>> integrated_heyrovsky_magnification(std::vector<double>, double, double) {
  fail_internal("integrated_heyrovsky_magnification is not built yet");
}

// tabulated profile
ModelResult<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double>, double, double,
                                                                           std::vector<double>, std::vector<double>) {
  fail_internal("discrete_flux_map_heyrovsky_magnification is not built yet");
}
ModelResult<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double>, double, double,
                                                                            std::vector<double>, std::vector<double>) {
  fail_internal("integrated_flux_map_witt_mao_magnification is not built yet");
}
ModelResult<std::vector<double>> integrated_flux_map_heyrovsky_magnification(std::vector<double>, double, double,
                                                                             std::vector<double>,
                                                                             std::vector<double>) {
  fail_internal("integrated_flux_map_heyrovsky_magnification is not built yet");
}

}  // namespace obrivane::models
