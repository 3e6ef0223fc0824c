// Physics code fails its invariants with the runtime's internal failure, under its own
// namespace.
#pragma once

#include "models/parallel/internal_failure.hpp"

namespace obrivane::models {

using parallel::fail_internal;
using parallel::InternalFailure;

}  // namespace obrivane::models
