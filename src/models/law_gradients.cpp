// PLACEHOLDER, to be replaced by the exact gradients: every result NaN.
#include "models/law_gradients.hpp"

#include <limits>

namespace obrivane::models {
namespace {
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();
constexpr LawGradient unknown{quiet_nan, quiet_nan, quiet_nan, {quiet_nan, quiet_nan}};
}  // namespace

PointSourceGradient point_source_gradient(double) noexcept { return {quiet_nan, quiet_nan}; }
LawGradient uniform_law_gradient(double, double) noexcept { return unknown; }
LawGradient linear_law_gradient(double, double, double) noexcept { return unknown; }
LawGradient quadratic_law_gradient(double, double, double, double) noexcept { return unknown; }
LawGradient square_root_law_gradient(double, double, double, double) noexcept { return unknown; }
LawGradient logarithmic_law_gradient(double, double, double, double) noexcept { return unknown; }
LawGradient power2_law_gradient(double, double, double, double, PowerLawRules&) noexcept { return unknown; }

}  // namespace obrivane::models
