// Placeholder until the model lands: every call fails loudly with an internal failure rather
// than returning a made-up value.
#include "models/internal_failure.hpp"
#include "models/thin_ring.hpp"

namespace obrivane::models {
ModelResult<double> heyrovsky_magnification(double, double, double, double) {
  fail_internal("heyrovsky_magnification is not built yet");
}

}  // namespace obrivane::models
