// The Gauss rules in s on the chord w = m + h s of a line through the lens (notation of
// mu_weighted_disk.cpp). The chord integrals are of F(m + h s), F = point_lens_times_radius,
// against a weight in s, and F's branch points w = +-2i lie at s = (-m +- 2i)/h, at least 2/h off
// the chord: a rule's error, set by the Bernstein ellipse through them, depends on the line's
// half-length h and not on the disk. So each line takes the rule of a disk of radius h, the node
// counts by band that were validated at each band's largest radius (where the line through the
// centre has h = a). Lines off the centre, and all lines of a lens outside the disk, are shorter
// than the radius and take shorter rules.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "numeric/gauss_rules.hpp"

namespace obrivane::models {

// The largest half-length of each band (Einstein radii); longer chords take the last band's rule.
inline constexpr std::array<double, 6> chord_band_lengths = {0.01, 0.1, 0.3, 1, 3, 10};
// Nodes per band.
inline constexpr std::array<std::size_t, 6> chord_band_sizes = {4, 6, 8, 12, 28, 80};

inline std::size_t chord_band(double h) noexcept {
  std::size_t band = 0;
  while (band + 1 < chord_band_lengths.size() && h > chord_band_lengths[band]) ++band;
  return band;
}

// A band's fixed rules, by their weights in s.
struct ChordBandRules {
  std::span<const numeric::GaussNode> chebyshev_u;      // sqrt(1 - s^2)
  std::span<const numeric::GaussNode> chebyshev_t;      // 1/sqrt(1 - s^2)
  std::span<const numeric::GaussNode> log_chebyshev_u;  // -sqrt(1 - s^2) ln(1 - s^2)
  std::span<const numeric::GaussNode> log_chebyshev_t;  // -ln(1 - s^2)/sqrt(1 - s^2)
};

inline constexpr std::array<ChordBandRules, 6> chord_band_table = {{
    {numeric::gauss_chebyshev_u_4, numeric::gauss_chebyshev_t_4, numeric::gauss_log_chebyshev_4,
     numeric::gauss_log_chebyshev_t_4},
    {numeric::gauss_chebyshev_u_6, numeric::gauss_chebyshev_t_6, numeric::gauss_log_chebyshev_6,
     numeric::gauss_log_chebyshev_t_6},
    {numeric::gauss_chebyshev_u_8, numeric::gauss_chebyshev_t_8, numeric::gauss_log_chebyshev_8,
     numeric::gauss_log_chebyshev_t_8},
    {numeric::gauss_chebyshev_u_12, numeric::gauss_chebyshev_t_12, numeric::gauss_log_chebyshev_12,
     numeric::gauss_log_chebyshev_t_12},
    {numeric::gauss_chebyshev_u_28, numeric::gauss_chebyshev_t_28, numeric::gauss_log_chebyshev_28,
     numeric::gauss_log_chebyshev_t_28},
    {numeric::gauss_chebyshev_u_80, numeric::gauss_chebyshev_t_80, numeric::gauss_log_chebyshev_80,
     numeric::gauss_log_chebyshev_t_80},
}};

// The fixed rules for a chord of half-length h.
inline const ChordBandRules& chord_rules_for(double h) noexcept { return chord_band_table[chord_band(h)]; }

}  // namespace obrivane::models
