// Placeholder until the model lands: every call fails loudly with an internal failure rather
// than returning a made-up value.
#include "models/internal_failure.hpp"
#include "models/profile_weighted.hpp"

namespace obrivane::models {
ModelResult<std::vector<double>> integrated_witt_mao_magnification(std::vector<double>, double, double) {
  fail_internal("integrated_witt_mao_magnification is not built yet");
}
ModelResult<std::vector<double>> integrated_heyrovsky_magnification(std::vector<double>, double, double) {
  fail_internal("integrated_heyrovsky_magnification is not built yet");
}

}  // namespace obrivane::models
