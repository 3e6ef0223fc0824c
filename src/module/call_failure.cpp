#include <cstdio>
#include <exception>
#include <new>

#include "models/internal_failure.hpp"
#include "module/call_entry.hpp"
#include "module/panic_exception.hpp"

namespace obrivane::module {

void raise_caught_failure() noexcept {
  try {
    throw;
  } catch (const models::InternalFailure& failure) {
    // Its diagnostic was written where it happened.
    raise_internal_failure(failure.what());
  } catch (const std::bad_alloc&) {
    std::fputs("obrivane: memory allocation failed\n", stderr);
    raise_internal_failure("memory allocation failed");
  } catch (const std::exception& unexpected) {
    std::fprintf(stderr, "obrivane: unexpected C++ exception: %s\n", unexpected.what());
    raise_internal_failure(unexpected.what());
  } catch (...) {
    std::fputs("obrivane: unexpected C++ exception of unknown type\n", stderr);
    raise_internal_failure("unexpected C++ exception of unknown type");
  }
}

}  // namespace obrivane::module
