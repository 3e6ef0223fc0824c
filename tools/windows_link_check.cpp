// A small Windows program built from the native core by check_windows_build.sh: linking it shows
// that every platform function the core needs exists on Windows; running it (under Wine, when
// present) starts the worker pool, measures a worker's stack and computes magnifications, which
// the test suite compares bit for bit with the native build's.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "models/uniform_disk.hpp"
#include "parallel/pool_size.hpp"
#include "parallel/worker_pool.hpp"
#include "platform/physical_memory.hpp"

namespace {

// Records the size of the stack reserved for the thread it runs on.
void measure_stack(void* context, bool) {
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  GetCurrentThreadStackLimits(&low, &high);
  *static_cast<unsigned long long*>(context) = static_cast<unsigned long long>(high - low);
}

}  // namespace

// Prints "name value" lines; the separations are 0.001 * i for i in [0, 4096), re = 1, rstar = 0.1.
int main() {
  using namespace obrivane;
  unsigned long long worker_stack = 0;
  parallel::run_in_pool(parallel::PoolTask{&worker_stack, measure_stack});
  std::vector<double> separations(4096);
  for (std::size_t i = 0; i < separations.size(); ++i) separations[i] = 0.001 * static_cast<double>(i);
  const std::vector<double> magnification = models::witt_mao_magnification(separations, 1.0, 0.1);
  std::printf("available_parallelism %llu\n",
              static_cast<unsigned long long>(parallel::available_parallelism()));
  std::printf("pool_size %llu\n", static_cast<unsigned long long>(parallel::pool_size()));
  std::printf("worker_stack_bytes %llu\n", worker_stack);
  std::printf("fits_one_double %d\n", models::fits_in_physical_memory(1, sizeof(double)) ? 1 : 0);
  std::printf("fits_2_to_60_doubles %d\n",
              models::fits_in_physical_memory(std::size_t{1} << 60, sizeof(double)) ? 1 : 0);
  for (const double value : magnification) {
    std::printf("magnification %016llx\n",
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
  }
  return 0;
}
