// A small Windows program built from the native core by check_windows_build.sh: linking it shows
// that every platform function the core needs exists on Windows; running it (under Wine, when
// present) starts the worker pool and computes magnifications there.
#include <cstdio>
#include <vector>

#include "models/parallel/pool_size.hpp"
#include "models/parallel/worker_pool.hpp"
#include "models/physical_memory.hpp"
#include "models/uniform_disk.hpp"

int main() {
  using namespace obrivane;
  std::vector<double> separations(4096);
  for (std::size_t i = 0; i < separations.size(); ++i) separations[i] = 0.001 * static_cast<double>(i);
  const std::vector<double> magnification = models::witt_mao_magnification(separations, 1.0, 0.1);
  std::printf("available_parallelism %zu\n", parallel::available_parallelism());
  std::printf("pool_size %zu\n", parallel::pool_size());
  std::printf("fits_one_double %d\n", models::fits_in_physical_memory(1, sizeof(double)) ? 1 : 0);
  std::printf("fits_2^60_doubles %d\n",
              models::fits_in_physical_memory(std::size_t{1} << 60, sizeof(double)) ? 1 : 0);
  std::printf("magnification[0] %.17g\n", magnification.front());
  std::printf("magnification[4095] %.17g\n", magnification.back());
  return 0;
}
