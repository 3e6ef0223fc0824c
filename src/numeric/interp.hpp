// Piecewise-linear interpolation through a table of points (x[i], y[i]), x ascending, with a
// selectable rule for abscissas outside the table.
//
// Each segment i is the line y = slope[i]·xp + intercept[i] with slope = (y[i+1] - y[i]) /
// (x[i+1] - x[i]) and intercept = y[i] - x[i]·slope, evaluated as a product and a sum. The
// point xp in (x[j], x[j+1]] uses segment j; xp at or below x[0] uses the first segment and xp
// above the last tabulated abscissa the last one. The sortedness of x is not checked; repeated
// abscissas make that segment's slope infinite or NaN, and NaN in the table propagates.
//
// Two forms give the same values bit for bit: `interp` forms the one segment it needs on each
// call, and `InterpolationTable` forms every segment once for repeated evaluation on one table.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace obrivane::numeric {

// What to return for an abscissa below x[0] or above the last tabulated abscissa.
class OutOfRangeMode {
 public:
  enum class Kind { linear, clamp, fill };

  // Extrapolate along the nearest end segment.
  static constexpr OutOfRangeMode Linear() noexcept { return OutOfRangeMode(Kind::linear, 0.0); }
  // Return the first ordinate below the table and the last one above it.
  static constexpr OutOfRangeMode Clamp() noexcept { return OutOfRangeMode(Kind::clamp, 0.0); }
  // Return `value` outside the table.
  static constexpr OutOfRangeMode Fill(double value) noexcept { return OutOfRangeMode(Kind::fill, value); }

  [[nodiscard]] constexpr Kind kind() const noexcept { return kind_; }
  [[nodiscard]] constexpr double fill_value() const noexcept { return fill_value_; }

 private:
  constexpr OutOfRangeMode(Kind kind, double fill_value) noexcept : kind_(kind), fill_value_(fill_value) {}

  Kind kind_;
  double fill_value_;
};

// The rule of a tabulated brightness profile: no light outside the tabulated radii.
inline constexpr OutOfRangeMode fill_with_zero = OutOfRangeMode::Fill(0.0);

namespace detail {

// Number of points that take part in the interpolation: surplus entries of the longer
// sequence are ignored.
inline std::size_t interpolation_points(std::span<const double> x, std::span<const double> y) noexcept {
  return std::min(x.size(), y.size());
}

// Index of the segment used for xp, for a table of n >= 2 points. The binary search runs over
// the whole of x and finds the number of elements strictly below xp (0 for a NaN xp); segment
// j serves (x[j], x[j+1]], and a hit beyond the first n points is clamped to the last segment.
inline std::size_t segment_index(std::span<const double> x, std::size_t n, double xp) noexcept {
  std::size_t base = 0;
  std::size_t size = x.size();
  while (size > 1) {
    const std::size_t half = size / 2;
    const std::size_t mid = base + half;
    if (x[mid] < xp) base = mid;
    size -= half;
  }
  const std::size_t below = x[base] < xp ? base + 1 : base;
  const std::size_t segment = below > 0 ? below - 1 : 0;
  return std::min(segment, n - 2);
}

struct Segment {
  double slope;
  double intercept;
};

// Slope and intercept of segment i, formed in this order and grouping: steps, slope as a
// quotient, intercept from the left end point.
inline Segment segment_line(std::span<const double> x, std::span<const double> y, std::size_t i) noexcept {
  const double dx = x[i + 1] - x[i];
  const double dy = y[i + 1] - y[i];
  const double slope = dy / dx;
  const double intercept = y[i] - x[i] * slope;
  return Segment{slope, intercept};
}

// The line of a segment at xp: a product and a sum. Which operand's NaN a NaN result carries
// depends on the operand order the compiler picks for the product and the sum, so a NaN result
// is returned as the one quiet NaN: the two interpolation forms then agree bit for bit.
inline double line_value(double xp, double slope, double intercept) noexcept {
  const double value = xp * slope + intercept;
  return std::isnan(value) ? std::numeric_limits<double>::quiet_NaN() : value;
}

// Applies the out-of-range rule to the value of the line at xp. Both tests are ordered
// comparisons, so a NaN xp is never out of range.
inline double apply_out_of_range(double value, double xp, double first_x, double last_x, double first_y,
                                 double last_y, const OutOfRangeMode& mode) noexcept {
  if (xp < first_x) {
    switch (mode.kind()) {
      case OutOfRangeMode::Kind::linear:
        return value;
      case OutOfRangeMode::Kind::clamp:
        return first_y;
      case OutOfRangeMode::Kind::fill:
        return mode.fill_value();
    }
  } else if (xp > last_x) {
    switch (mode.kind()) {
      case OutOfRangeMode::Kind::linear:
        return value;
      case OutOfRangeMode::Kind::clamp:
        return last_y;
      case OutOfRangeMode::Kind::fill:
        return mode.fill_value();
    }
  }
  return value;
}

}  // namespace detail

// Value at xp of the piecewise-linear function through the first min(|x|, |y|) points: 0.0 for
// an empty table and y[0] for a single point, whatever xp and the rule. Never fails and
// allocates nothing.
inline double interp(std::span<const double> x, std::span<const double> y, double xp,
                     const OutOfRangeMode& mode) noexcept {
  const std::size_t n = detail::interpolation_points(x, y);
  if (n == 0) return 0.0;
  if (n == 1) return y[0];
  const std::size_t segment = detail::segment_index(x, n, xp);
  const detail::Segment line = detail::segment_line(x, y, segment);
  const double value = detail::line_value(xp, line.slope, line.intercept);
  return detail::apply_out_of_range(value, xp, x[0], x[n - 1], y[0], y[n - 1], mode);
}

// A table whose segments are formed once, for evaluating many abscissas: every result equals
// interp(x, y, xp, mode) bit for bit. The table borrows x and y, which must outlive it and stay
// unchanged while it is in use; it owns only the slopes and intercepts.
class InterpolationTable {
 public:
  InterpolationTable(std::span<const double> x, std::span<const double> y)
      : x_(x), y_(y), points_(detail::interpolation_points(x, y)) {
    if (points_ < 2) return;
    slopes_.reserve(points_ - 1);
    intercepts_.reserve(points_ - 1);
    for (std::size_t i = 0; i + 1 < points_; ++i) {
      const detail::Segment line = detail::segment_line(x_, y_, i);
      slopes_.push_back(line.slope);
      intercepts_.push_back(line.intercept);
    }
  }

  double operator()(double xp, const OutOfRangeMode& mode) const noexcept {
    if (points_ == 0) return 0.0;
    if (points_ == 1) return y_[0];
    const std::size_t segment = detail::segment_index(x_, points_, xp);
    const double value = detail::line_value(xp, slopes_[segment], intercepts_[segment]);
    return detail::apply_out_of_range(value, xp, x_[0], x_[points_ - 1], y_[0], y_[points_ - 1], mode);
  }

 private:
  std::span<const double> x_;
  std::span<const double> y_;
  std::size_t points_;
  std::vector<double> slopes_;
  std::vector<double> intercepts_;
};

}  // namespace obrivane::numeric
