// Nanoseconds per call of K, E, Pi and R_J over arrays of parameters.
//
//   bench_elliptic INPUT [REPEATS]
//
// INPUT holds a little-endian uint64 count N followed by N parameters m and N characteristics n
// (binary64). Each kernel runs over the whole array REPEATS times (default 20); the fastest pass
// is reported, as "name ns_per_call checksum" lines, the checksum keeping the loop alive.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <vector>

#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/elliprj.hpp"
#include "numeric/elliptic_result.hpp"
#include "numeric/legendre/ellipe.hpp"
#include "numeric/legendre/ellipk.hpp"
#include "numeric/legendre/ellippi.hpp"

namespace {

using obrivane::numeric::EllipticResult;

struct Arguments {
  std::vector<double> m;
  std::vector<double> n;
};

bool read_arguments(const char* path, Arguments& arguments) {
  std::ifstream input(path, std::ios::binary);
  std::uint64_t count = 0;
  if (!input.read(reinterpret_cast<char*>(&count), sizeof count)) return false;
  arguments.m.resize(count);
  arguments.n.resize(count);
  const auto bytes = static_cast<std::streamsize>(count * sizeof(double));
  return static_cast<bool>(input.read(reinterpret_cast<char*>(arguments.m.data()), bytes)) &&
         static_cast<bool>(input.read(reinterpret_cast<char*>(arguments.n.data()), bytes));
}

// Runs kernel(i) for every element, repeats times; returns the fastest pass in ns per element.
template <class Kernel>
double time_kernel(std::size_t count, int repeats, std::vector<double>& output, Kernel kernel) {
  double best = std::numeric_limits<double>::infinity();
  for (int pass = 0; pass < repeats; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < count; ++i) output[i] = kernel(i);
    const auto stop = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::nano>(stop - start).count());
  }
  return best / static_cast<double>(count);
}

double value_or_nan(EllipticResult result) {
  return result.ok() ? result.value() : std::numeric_limits<double>::quiet_NaN();
}

void report(const char* name, double nanoseconds, const std::vector<double>& output) {
  double checksum = 0;
  for (double value : output) checksum += value;
  std::printf("%s %.3f %.17g\n", name, nanoseconds, checksum);
}

}  // namespace

int main(int argc, char** argv) {
  namespace numeric = obrivane::numeric;
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s INPUT [REPEATS]\n", argv[0]);
    return 2;
  }
  Arguments arguments;
  if (!read_arguments(argv[1], arguments)) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 20;
  const std::size_t count = arguments.m.size();
  const std::vector<double>& m = arguments.m;
  const std::vector<double>& n = arguments.n;
  std::vector<double> output(count);

  report(
      "ellipk",
      time_kernel(count, repeats, output, [&](std::size_t i) { return value_or_nan(numeric::ellipk(m[i])); }),
      output);
  report(
      "ellipe",
      time_kernel(count, repeats, output, [&](std::size_t i) { return value_or_nan(numeric::ellipe(m[i])); }),
      output);
  report("ellippi",
         time_kernel(count, repeats, output,
                     [&](std::size_t i) { return value_or_nan(numeric::ellippi(n[i], m[i])); }),
         output);
  report("elliprf",
         time_kernel(count, repeats, output,
                     [&](std::size_t i) { return value_or_nan(numeric::elliprf(0, 1 - m[i], 1)); }),
         output);
  report("elliprj",
         time_kernel(count, repeats, output,
                     [&](std::size_t i) { return value_or_nan(numeric::elliprj(0, 1 - m[i], 1, 1 - n[i])); }),
         output);
  return 0;
}
