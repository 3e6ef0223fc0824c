// The brightness profile of a table (radii bl, brightness bf) as the linear interpolation computes
// it, zero outside the tabulated radii, cut to the source disk [0, 1] and written as a list of
// pieces on which it is linear. The radii must not decrease (equal neighbours are a jump); a
// single row is its brightness everywhere on the disk.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "models/disk_mean_value_series.hpp"

namespace obrivane::models {

// The profile on [begin, end] is the line through (begin, begin_value) and (end, end_value), of
// slope `slope`; a jump between neighbouring pieces is a jump of the profile.
struct ProfilePiece {
  double begin;
  double end;
  double begin_value;
  double end_value;
  double slope;
};

class TabulatedInterpolant {
 public:
  TabulatedInterpolant(std::span<const double> bl, std::span<const double> bf);

  // Pieces covering [0, 1] in order, each of positive width.
  [[nodiscard]] const std::vector<ProfilePiece>& pieces() const noexcept { return pieces_; }

  // The ends of the pieces in ascending order: 0, then the end of every piece.
  [[nodiscard]] const std::vector<double>& breaks() const noexcept { return breaks_; }

  // int_0^1 x I(x) dx; the flux of the source is 2 pi times this.
  [[nodiscard]] double flux_moment() const noexcept { return flux_moment_; }

  // False for a table holding a non-finite value, for radii that decrease anywhere (both leave
  // no pieces) and for a profile of no flux: such a source has no magnification.
  [[nodiscard]] bool has_magnification() const noexcept { return has_magnification_; }

  // I(x) for 0 <= x <= 1, the mean of the two sides where the profile jumps; 0 elsewhere.
  [[nodiscard]] double value_at(double x) const noexcept;

  // The weights (k + 1) c_k, k = 1 ... disk_mean_value_terms, of the mean-value series relative to
  // the uniform disk's, with c_k = int_0^1 x^(2k+1) I dx / int_0^1 x I dx.
  [[nodiscard]] std::array<double, disk_mean_value_terms> mean_value_weights() const noexcept;

 private:
  std::vector<ProfilePiece> pieces_;
  std::vector<double> breaks_;
  double flux_moment_ = 0;
  bool has_magnification_ = false;
};

}  // namespace obrivane::models
