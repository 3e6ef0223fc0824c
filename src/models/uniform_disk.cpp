// Placeholder until the model lands: every call fails loudly with an internal failure rather
// than returning a made-up value.
#include "models/internal_failure.hpp"
#include "models/uniform_disk.hpp"

namespace obrivane::models {
double uniform_disk_magnification(double, const double&, const double&) noexcept { return 0.0 / 0.0; }
double uniform_disk_magnification_at_u(double, const double&, const double&) noexcept { return 0.0 / 0.0; }
std::vector<double> witt_mao_magnification(std::vector<double>, double, double) {
  fail_internal("witt_mao_magnification is not built yet");
}
std::vector<std::vector<double>> multi_witt_mao_magnification(std::vector<double>, std::vector<double>,
                                                              std::vector<double>) {
  fail_internal("multi_witt_mao_magnification is not built yet");
}

}  // namespace obrivane::models
