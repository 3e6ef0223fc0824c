// The uniform-disk magnification of one separation vector for every combination of an Einstein
// radius with a source radius: an outer parallel loop over the combinations, each running the
// batch function, whose own loop over the separations nests on the same pool.
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "models/uniform_disk.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/parallel_map.hpp"
#include "platform/physical_memory.hpp"

namespace obrivane::models {
namespace {

struct SourcePair {
  double einstein_radius;
  double source_radius;
};

// Every (re[i], rstar[j]), re the outer and rstar the inner index.
std::vector<SourcePair> source_pairs(const std::vector<double>& re, const std::vector<double>& rstar) {
  constexpr std::size_t largest_count = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(SourcePair);
  if (!rstar.empty() && re.size() > largest_count / rstar.size())
    parallel::fail_internal("capacity overflow");
  if (!fits_in_physical_memory(re.size() * rstar.size(), sizeof(SourcePair))) throw std::bad_alloc();
  std::vector<SourcePair> pairs;
  pairs.reserve(re.size() * rstar.size());
  for (const double einstein_radius : re) {
    for (const double source_radius : rstar) pairs.push_back(SourcePair{einstein_radius, source_radius});
  }
  return pairs;
}

}  // namespace

std::vector<std::vector<double>> multi_witt_mao_magnification(std::vector<double> l, std::vector<double> re,
                                                              std::vector<double> rstar) {
  const std::vector<SourcePair> pairs = source_pairs(re, rstar);
  // Every pair's row of results: the allocation is refused up front when it could never be held.
  constexpr std::size_t largest_row = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(double);
  if (l.size() > largest_row ||
      !fits_in_physical_memory(pairs.size(), sizeof(std::vector<double>) + l.size() * sizeof(double))) {
    throw std::bad_alloc();
  }
  std::vector<std::vector<double>> per_pair(pairs.size());
  parallel::parallel_for(pairs.size(), [&](std::size_t k) {
    // Each batch call owns its own copy of the separations.
    per_pair[k] = witt_mao_magnification(l, pairs[k].einstein_radius, pairs[k].source_radius);
  });
  return per_pair;
}

}  // namespace obrivane::models
