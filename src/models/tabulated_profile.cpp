// Sources whose brightness profile is a table of radii bl and brightness values bf: a weighted
// sum of thin rings, one per row, or the exact magnification of the profile the table
// interpolates linearly (zero outside the tabulated radii).
//
// The magnification of a profile I is A = int_0^1 Phi'(x) I(x) dx / (2 pi int_0^1 x I dx), with
// Phi the magnified flux of the concentric uniform disk of radius x (disk_flux_integral.hpp). On
// each piece where I is linear this is, by parts, Phi at the ends of the piece and the integral
// of Phi over it; the flux is a closed form. Only Phi - pi x^2 is integrated, giving A - 1
// directly. Far from the lens the mean-value series with the profile's moments replaces both.
#include "models/tabulated_profile.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <numbers>
#include <span>
#include <string>
#include <utility>

#include "models/brightness_laws.hpp"
#include "models/disk_flux_integral.hpp"
#include "models/source_radius.hpp"
#include "models/tabulated_interpolant.hpp"
#include "models/thin_ring.hpp"
#include "models/uniform_disk_far.hpp"
#include "numeric/chebyshev/knot_sum_tree.hpp"
#include "parallel/cancellation.hpp"
#include "parallel/internal_failure.hpp"
#include "parallel/parallel_map.hpp"

namespace obrivane::models {
namespace {

constexpr double two_pi = 2 * std::numbers::pi;
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Beyond four source radii (l in source radii) the series is exact to rounding
// (uniform_disk_far.hpp).
constexpr double far_series_separation = 1 / far_disk_ratio;

// A source this large against the Einstein radius is magnified by 1 + I(l) / (rho^2 int x I dx):
// A - 1 = int I (A_ps - 1) d^2r / int I d^2r, and int (A_ps - 1) d^2r = 2 pi over the plane is
// gathered within a few Einstein radii of the lens, where I hardly varies. The next terms are
// of relative order 1/rho, below rounding of A - 1 ~ 1/rho^2 <= 2^-52.
constexpr double large_source = 0x1p26;

// Where the whole source lies within this distance of the lens (Einstein radii), A_ps = 1/r to
// rounding, so rho A depends on l alone and is taken from a source of this size.
constexpr double small_extent = 0x1p-40;

void check_table_lengths(const std::vector<double>& bl, const std::vector<double>& bf) {
  if (bl.size() != bf.size()) {
    parallel::fail_internal("assertion `left == right` failed\n  left: " + std::to_string(bl.size()) +
                            "\n right: " + std::to_string(bf.size()));
  }
}

// The jumps of a profile: where (0 < x <= 1) and by how much it falls there, I(x-) - I(x+).
struct Jumps {
  std::vector<double> at;
  std::vector<double> size;
};

Jumps profile_jumps(const TabulatedInterpolant& profile) {
  Jumps jumps;
  double value_before = 0;  // I just below the current break; nothing below x = 0
  for (const ProfilePiece& piece : profile.pieces()) {
    const double jump = value_before - piece.begin_value;
    if (jump != 0 && piece.begin > 0) {
      jumps.at.push_back(piece.begin);
      jumps.size.push_back(jump);
    }
    value_before = piece.end_value;
  }
  // Outside the source the profile is 0: the last jump is at the limb.
  if (value_before != 0) {
    jumps.at.push_back(1.0);
    jumps.size.push_back(value_before);
  }
  return jumps;
}

// Jumps closer than this may fall within one side's narrow intervals (the widest side is 4 source
// radii, and narrow is a sixteenth of it): the remainder is then fitted for changes of Phi.
constexpr double close_jumps = 0.25;

// A piece narrower than this can lie close enough to the lens ring, yet more than twice its
// width from it, to be integrated on the series values (disk_flux_integral.cpp: within 2^-15 of
// a side of at most 4 radii).
constexpr double tiny_piece = 0x1p-14;

// Whether the remainder is to be fitted for its values: for close jumps or tiny pieces.
bool needs_values(const TabulatedInterpolant& profile, const Jumps& jumps) {
  for (std::size_t j = 1; j < jumps.at.size(); ++j) {
    if (jumps.at[j] - jumps.at[j - 1] < close_jumps) return true;
  }
  return std::any_of(profile.pieces().begin(), profile.pieces().end(),
                     [](const ProfilePiece& piece) { return piece.end - piece.begin < tiny_piece; });
}

// sum_j J_j Phi(x_j), summed by parts as sum_j K_j (Phi(x_j) - Phi(x_(j-1))) with the tail sums
// K_j = sum_(k >= j) J_k and Phi(x_0) = Phi(0) = 0: a narrow ring's two opposite jumps then weight
// the change of Phi across it, which the disk integral forms without cancellation.
double jump_sum(const DiskFluxIntegral& disk, const Jumps& jumps) {
  const std::size_t count = jumps.at.size();
  double tail = 0;
  std::vector<double> tails(count);
  for (std::size_t j = count; j-- > 0;) {
    tail += jumps.size[j];
    tails[j] = tail;
  }
  double total = 0;
  double previous_at = 0;
  double previous_flux = 0;
  for (std::size_t j = 0; j < count; ++j) {
    const double flux = disk.flux(jumps.at[j]);
    const double change = j == 0 ? flux : disk.flux_change(previous_at, jumps.at[j], previous_flux, flux);
    total += tails[j] * change;
    previous_at = jumps.at[j];
    previous_flux = flux;
  }
  return total;
}

// int_0^1 (Phi' - 2 pi x) I dx for a lens within four source radii, by parts piece by piece: the
// jumps of I (at the ends of the table and where it has repeated radii) weight Phi there, and
// the slopes weight the integral of Phi over each piece.
double near_numerator(const TabulatedInterpolant& profile, double l, double rho) {
  const Jumps jumps = profile_jumps(profile);
  const DiskFluxIntegral disk(l, rho, needs_values(profile, jumps));
  const std::vector<double>& breaks = profile.breaks();
  std::vector<DiskFluxIntegral::Radius> radii(breaks.size());
  disk.radii(breaks, radii);
  double numerator = jump_sum(disk, jumps);
  const std::vector<ProfilePiece>& pieces = profile.pieces();
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].slope != 0) numerator -= pieces[i].slope * disk.integral(radii[i], radii[i + 1]);
  }
  return numerator;
}

// A piece steeper than this is integrated on its own rather than through the changes of slope at
// its ends: each change of slope s weights an antiderivative of Phi known to a rounding of its
// size, so the grouped sum carries errors of order s eps, while the piece on its own carries
// s h eps; at 256 the rest leaves a few 1e-14 of A - 1. A limb-crowded table of 10^4 rows has
// a few tens of such pieces next to the limb.
constexpr double steep_slope = 256;

}  // namespace

// The same integral gathered by knots: summing by parts once more over the pieces,
//   -sum_pieces I' (Psi(b) - Psi(a)) = sum_knots (I'(x+) - I'(x-)) Psi(x),
// Psi' = Phi - pi x^2, with I' = 0 below 0 and beyond the limb. Steep pieces are kept out of the
// knots and integrated on their own. The changes of slope are fixed for the
// call, so their sums against the interpolants of Psi on groups of neighbouring knots are formed
// once (knot_sum_tree.hpp), and a separation visits only the knots near the lens ring. Psi is
// singular only at x = +-l and at x = +-l +- 2i/rho, where the rim's elliptic integrals have
// their branch points.
class KnotForm {
 public:
  explicit KnotForm(const TabulatedInterpolant& profile)
      : jumps_(profile_jumps(profile)), fit_values_(needs_values(profile, jumps_)), slopes_(build(profile)) {}

  [[nodiscard]] double numerator(double l, double rho) const {
    const DiskFluxIntegral disk(l, rho, fit_values_);
    double total = jump_sum(disk, jumps_);
    if (!steep_ends_.empty()) {
      std::vector<DiskFluxIntegral::Radius> radii(steep_ends_.size());
      disk.radii(steep_ends_, radii);
      for (std::size_t i = 0; i < steep_slopes_.size(); ++i) {
        total -= steep_slopes_[i] * disk.integral(radii[2 * i], radii[2 * i + 1]);
      }
    }
    return total + slopes_.sum(l, 2 / rho, [&disk](std::span<const double> x, std::span<double> psi) {
      disk.antiderivatives(x, psi);
    });
  }

 private:
  // The changes of slope of the profile with its steep pieces taken out (slope 0 there); those
  // pieces are kept with their ends, ascending.
  numeric::KnotSumTree<16> build(const TabulatedInterpolant& profile) {
    std::vector<double> knots;
    std::vector<double> changes;
    double slope_before = 0;
    for (const ProfilePiece& piece : profile.pieces()) {
      double slope = piece.slope;
      if (std::fabs(slope) > steep_slope) {
        steep_ends_.push_back(piece.begin);
        steep_ends_.push_back(piece.end);
        steep_slopes_.push_back(slope);
        slope = 0;
      }
      const double change = slope - slope_before;
      if (change != 0) {
        knots.push_back(piece.begin);
        changes.push_back(change);
      }
      slope_before = slope;
    }
    if (slope_before != 0) {
      knots.push_back(1.0);
      changes.push_back(-slope_before);
    }
    return numeric::KnotSumTree<16>(knots, changes);
  }

  Jumps jumps_;
  bool fit_values_;
  std::vector<double> steep_ends_;
  std::vector<double> steep_slopes_;
  numeric::KnotSumTree<16> slopes_;
};

namespace {

// Forming the groups costs less than one separation summed piece by piece; below this many pieces
// the grouped sum gains less than the noise of a measurement.
constexpr std::size_t knot_form_pieces = 64;

}  // namespace

double tabulated_near_magnification(const TabulatedInterpolant& profile, double l, double rho) {
  return 1 + near_numerator(profile, l, rho) / (two_pi * profile.flux_moment());
}

namespace {

struct Source {
  const TabulatedInterpolant& profile;
  const std::array<double, disk_mean_value_terms>& weights;
  const KnotForm* knots;  // null for a short table
};

// A lens this close to the centre magnifies as one at the centre: the magnification is even in l
// and its change is of order l^2 log l, far below rounding (and the disk magnification would
// underflow in the squares of so small a separation).
constexpr double central_separation = 0x1p-60;

double magnification_at_scale(const Source& source, double l, double rho) {
  if (l < central_separation) l = 0;
  if (l >= far_series_separation) return weighted_disk_magnification_far(l * rho, rho, source.weights);
  if (source.knots != nullptr)
    return 1 + source.knots->numerator(l, rho) / (two_pi * source.profile.flux_moment());
  return tabulated_near_magnification(source.profile, l, rho);
}

double magnification(const Source& source, double l, double re, double rstar, double rho) {
  if (!(l >= 0) || !std::isfinite(l)) return quiet_nan;
  if (rho > large_source) {
    return 1 + (source.profile.value_at(l) / source.profile.flux_moment()) / rho / rho;
  }
  const double extent = l + 1;
  if (!(extent * rho < small_extent)) return magnification_at_scale(source, l, rho);
  // rho A at a source of the size where the lens's 1/r law still holds to rounding, then
  // divided by rho: by rstar/re in an order that neither overflows nor underflows early when
  // rho itself is below the normal range.
  const double scaled_rho = small_extent / extent;
  const double scaled = magnification_at_scale(source, l, scaled_rho) * scaled_rho;
  if (rho >= std::numeric_limits<double>::min()) return scaled / rho;
  return re >= 1 ? (scaled / rstar) * re : (scaled * re) / rstar;
}

// With no negative brightness the result is a weighted mean of the point-lens magnification, so
// at least 1. Far out, where it exceeds 1 by less than rounding, the steep slopes of a long
// limb-crowded table can round it a few 1e-11 below; the bound is then the better value. A table
// with negative entries is no mean, and is left as computed.
bool is_weighted_mean(std::span<const double> bf) {
  return std::none_of(bf.begin(), bf.end(), [](double value) { return value < 0; });
}

}  // namespace

ModelResult<std::vector<double>> discrete_ring_sum_magnification(const std::vector<double>& l, double re,
                                                                 double rstar, const std::vector<double>& bl,
                                                                 const std::vector<double>& bf) {
  check_table_lengths(bl, bf);
  std::vector<double> result;
  result.reserve(l.size());
  for (const double separation : l) {
    double sum = 0.0;
    for (std::size_t row = 0; row < bl.size(); ++row) {
      parallel::interruption_point();
      ModelResult<double> ring = heyrovsky_magnification(separation, bl[row], re, rstar);
      if (!ring.ok()) return ring.error();
      sum = sum + ring.value() * bf[row];
    }
    result.push_back(sum);
  }
  return result;
}

PreparedTable::PreparedTable(std::span<const double> radii, std::span<const double> brightness)
    : profile_(radii, brightness), is_mean_(is_weighted_mean(brightness)) {
  if (!profile_.has_magnification()) return;
  weights_ = profile_.mean_value_weights();
  if (profile_.pieces().size() > knot_form_pieces) knots_ = std::make_unique<const KnotForm>(profile_);
}

PreparedTable::~PreparedTable() = default;

double PreparedTable::magnification(double u, double rho) const {
  if (!valid_source_radii(1, rho) || !profile_.has_magnification() || !(u >= 0)) return quiet_nan;
  if (u == std::numeric_limits<double>::infinity()) return 1;
  const double separation = u / rho;
  // More source radii than a double holds: the source is below 1e-308 of its distance from the
  // lens, a point to every digit, and the magnification is the point lens's at u.
  if (separation == std::numeric_limits<double>::infinity()) return point_source_magnification(u);
  const Source source{profile_, weights_, knots_.get()};
  const double value = obrivane::models::magnification(source, separation, 1, rho, rho);
  return is_mean_ ? at_least_one(value) : value;
}

std::vector<double> tabulated_magnification(const std::vector<double>& l, double re, double rstar,
                                            const std::vector<double>& bl, const std::vector<double>& bf) {
  check_table_lengths(bl, bf);
  std::vector<double> result(l.size(), quiet_nan);
  if (!valid_source_radii(re, rstar)) return result;
  const TabulatedInterpolant profile{std::span<const double>(bl), std::span<const double>(bf)};
  if (!profile.has_magnification()) return result;
  const double rho = rstar / re;
  // The moments cost a pass over the table; only a separation far from the lens needs them.
  std::array<double, disk_mean_value_terms> weights{};
  if (std::any_of(l.begin(), l.end(), [](double s) { return s >= far_series_separation; })) {
    weights = profile.mean_value_weights();
  }
  std::unique_ptr<const KnotForm> knots;
  if (profile.pieces().size() > knot_form_pieces &&
      std::any_of(l.begin(), l.end(), [](double s) { return s < far_series_separation; })) {
    knots = std::make_unique<const KnotForm>(profile);
  }
  const Source source{profile, weights, knots.get()};
  const bool is_mean = is_weighted_mean(bf);
  parallel::parallel_for(l.size(), [&](std::size_t i) {
    const double value = magnification(source, l[i], re, rstar, rho);
    result[i] = is_mean ? at_least_one(value) : value;
  });
  return result;
}

}  // namespace obrivane::models
