#include <cstdio>
#include <exception>
#include <new>

#include "module/call_entry.hpp"
#include "module/forced_unwind.hpp"
#include "module/panic_exception.hpp"
#include "module/pending_python_error.hpp"
#include "parallel/internal_failure.hpp"

namespace obrivane::module {

void raise_caught_failure() {
  try {
    throw;
  } catch (const obrivane::parallel::InternalFailure& failure) {
    // Its diagnostic was written where it happened.
    raise_internal_failure(failure.what());
  } catch (const PendingPythonError&) {
    // The interpreter's own exception stands; a call that failed without one is a SystemError.
    if (!PyErr_Occurred()) {
      PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
  } catch (const std::bad_alloc&) {
    // Memory ran out below the boundary (a result too large to hold, say): nothing is left
    // allocated, and the caller can handle it as any MemoryError.
    PyErr_NoMemory();
  } catch (const std::exception& unexpected) {
    std::fprintf(stderr, "obrivane: unexpected C++ exception: %s\n", unexpected.what());
    raise_internal_failure(unexpected.what());
  } catch (...) {
    if (handling_forced_unwind()) throw;
    std::fputs("obrivane: unexpected C++ exception of unknown type\n", stderr);
    raise_internal_failure("unexpected C++ exception of unknown type");
  }
}

}  // namespace obrivane::module
