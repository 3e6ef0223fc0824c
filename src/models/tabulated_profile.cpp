// Placeholder until the model lands: every call fails loudly with an internal failure rather
// than returning a made-up value.
#include "models/internal_failure.hpp"
#include "models/tabulated_profile.hpp"

namespace obrivane::models {
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
