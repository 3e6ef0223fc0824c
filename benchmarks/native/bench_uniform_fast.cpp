// Nanoseconds per element of the uniform-disk kernels on one thread, side by side in one run:
// the two-integral Bulirsch form (uniform_disk_magnification_fast, which the accurate form of the
// profile models now forwards to), the Carlson form with exact complements that it replaced
// (uniform_disk_magnification_carlson) and the per-element kernel of
// witt_mao_magnification (uniform_disk_magnification, Legendre routines in a fixed order).
//
//   bench_uniform_fast [RHO [X_MAX [COUNT [REPEATS]]]]
//
// Separations x = u/rho are drawn uniformly from [0, X_MAX] (default rho 0.1, X_MAX 3, 10^6
// elements, 15 repeats). Prints "name min_ns median_ns checksum" lines; the checksum keeps the
// loops alive.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "models/uniform_disk.hpp"
#include "models/uniform_disk_fast.hpp"

namespace {

struct Timing {
  double min;
  double median;
};

template <class Kernel>
Timing time_kernel(const std::vector<double>& x, int repeats, std::vector<double>& output, Kernel kernel) {
  std::vector<double> passes;
  for (int pass = 0; pass < repeats; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < x.size(); ++i) output[i] = kernel(x[i]);
    const auto stop = std::chrono::steady_clock::now();
    passes.push_back(std::chrono::duration<double, std::nano>(stop - start).count() /
                     static_cast<double>(x.size()));
  }
  std::sort(passes.begin(), passes.end());
  return {passes.front(), passes[passes.size() / 2]};
}

void report(const char* name, Timing timing, const std::vector<double>& output) {
  double checksum = 0;
  for (double value : output) checksum += value;
  std::printf("%s %.2f %.2f %.17g\n", name, timing.min, timing.median, checksum);
}

}  // namespace

int main(int argc, char** argv) {
  namespace models = obrivane::models;
  const double rho = argc > 1 ? std::atof(argv[1]) : 0.1;
  const double x_max = argc > 2 ? std::atof(argv[2]) : 3.0;
  const auto count = static_cast<std::size_t>(argc > 3 ? std::atof(argv[3]) : 1e6);
  const int repeats = argc > 4 ? std::atoi(argv[4]) : 15;
  std::mt19937_64 generator(7);
  std::uniform_real_distribution<double> uniform(0.0, x_max);
  std::vector<double> x(count);
  for (double& value : x) value = uniform(generator);
  std::vector<double> output(count);
  const double rho_squared = rho * rho;

  report("fast",
         time_kernel(x, repeats, output,
                     [&](double xi) { return models::uniform_disk_magnification_fast(xi * rho, rho); }),
         output);
  report("carlson",
         time_kernel(x, repeats, output,
                     [&](double xi) { return models::uniform_disk_magnification_carlson(xi * rho, rho); }),
         output);
  report("witt_mao_kernel",
         time_kernel(x, repeats, output,
                     [&](double xi) { return models::uniform_disk_magnification(xi, rho, rho_squared); }),
         output);
  return 0;
}
