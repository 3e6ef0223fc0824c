// Pieces of the interpolated table profile. Between two neighbouring breaks (0, 1 and the radii
// of the table inside the disk) the interpolation uses one segment of the table throughout, or
// none (outside the tabulated radii), because its segment search and range tests compare the
// abscissa only with the tabulated radii. So the segment found at the middle of each gap serves
// the whole gap. A single row is that brightness at every radius, as the interpolation of one
// point is that value everywhere.
#include "models/tabulated_interpolant.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "numeric/interp.hpp"
#include "numeric/linear_segment_moments.hpp"

namespace obrivane::models {
namespace {

bool all_finite(std::span<const double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// The line of table segment s on [begin, end], taking the tabulated values where an end is a
// table point.
ProfilePiece segment_piece(std::span<const double> bl, std::span<const double> bf, std::size_t s,
                           double begin, double end) {
  const double x0 = bl[s];
  const double x1 = bl[s + 1];
  const double y0 = bf[s];
  const double y1 = bf[s + 1];
  const double slope = (y1 - y0) / (x1 - x0);
  const auto value = [&](double x) {
    if (x == x0) return y0;
    if (x == x1) return y1;
    return y0 + slope * (x - x0);
  };
  return ProfilePiece{begin, end, value(begin), value(end), slope};
}

}  // namespace

TabulatedInterpolant::TabulatedInterpolant(std::span<const double> bl, std::span<const double> bf) {
  const std::size_t n = std::min(bl.size(), bf.size());
  bl = bl.first(n);
  bf = bf.first(n);
  if (!all_finite(bl) || !all_finite(bf)) return;
  // Radii out of order describe no profile: the segment search assumes them sorted, and would
  // pick segments of a shuffled table by where the binary search happens to land. Equal
  // neighbours are a jump and stay.
  if (!std::is_sorted(bl.begin(), bl.end())) return;

  if (n < 2) {
    // No table: no light. One row: that brightness everywhere.
    const double level = n == 0 ? 0.0 : bf[0];
    pieces_.push_back(ProfilePiece{0.0, 1.0, level, level, 0.0});
  } else {
    std::vector<double> breaks{0.0, 1.0};
    for (const double radius : bl) {
      if (radius > 0 && radius < 1) breaks.push_back(radius);
    }
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    pieces_.reserve(breaks.size() - 1);
    for (std::size_t i = 0; i + 1 < breaks.size(); ++i) {
      const double begin = breaks[i];
      const double end = breaks[i + 1];
      const double middle = begin + (end - begin) * 0.5;
      if (middle < bl[0] || middle > bl[n - 1]) {
        pieces_.push_back(ProfilePiece{begin, end, 0.0, 0.0, 0.0});
      } else {
        pieces_.push_back(segment_piece(bl, bf, numeric::detail::segment_index(bl, n, middle), begin, end));
      }
    }
  }

  breaks_.reserve(pieces_.size() + 1);
  breaks_.push_back(0.0);
  for (const ProfilePiece& piece : pieces_) breaks_.push_back(piece.end);

  std::array<double, 2> moments{};
  for (const ProfilePiece& piece : pieces_) {
    numeric::add_linear_segment_moments(piece.begin, piece.end, piece.begin_value, piece.end_value, moments);
  }
  flux_moment_ = moments[1];
  has_magnification_ = std::isfinite(flux_moment_) && flux_moment_ != 0;
}

double TabulatedInterpolant::value_at(double x) const noexcept {
  if (!(x >= 0 && x <= 1)) return 0.0;
  // The first piece that ends at or after x (so x is never the start of a later piece); at its end,
  // a break shared with the next piece, the mean of the two sides.
  const auto piece = std::lower_bound(pieces_.begin(), pieces_.end(), x,
                                      [](const ProfilePiece& p, double value) { return p.end < value; });
  if (piece == pieces_.end()) return 0.0;
  if (x == piece->end) {
    const double after = piece + 1 == pieces_.end() ? 0.0 : (piece + 1)->begin_value;
    return (piece->end_value + after) * 0.5;
  }
  return piece->begin_value + piece->slope * (x - piece->begin);
}

std::array<double, disk_mean_value_terms> TabulatedInterpolant::mean_value_weights() const noexcept {
  // x^(2k+1) for k = 0 ... terms: the moments of odd order up to 2 terms + 1.
  std::array<double, 2 * disk_mean_value_terms + 2> moments{};
  for (const ProfilePiece& piece : pieces_) {
    numeric::add_linear_segment_moments(piece.begin, piece.end, piece.begin_value, piece.end_value, moments);
  }
  std::array<double, disk_mean_value_terms> weights{};
  for (std::size_t k = 1; k <= disk_mean_value_terms; ++k) {
    weights[k - 1] = (static_cast<double>(k + 1) * moments[2 * k + 1]) / moments[1];
  }
  return weights;
}

}  // namespace obrivane::models
