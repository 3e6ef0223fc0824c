// Heyrovsky's closed form for the magnification of a thin ring of radius r whose centre lies at
// distance l from a point-mass lens (Heyrovsky 2003, ApJ 594, 464), in units of the stellar
// radius with q the Einstein radius in the same unit:
//   A = (2/pi) / ((l + r) sqrt(d^2 + 4q^2)) * (2q^2 K(m) + d^2 Pi(n, m)),   d = r - l,
//   n = 4lr/(l + r)^2,   m = 16 q^2 lr / ((l + r)^2 (d^2 + 4q^2)).
// Away from the lens the form is evaluated as written, in a fixed order, through the Legendre
// integrals. Near the lens (r close to l) both n and m approach 1 and 1 - n, 1 - m formed from n
// and m lose their digits to cancellation; there, for an Einstein radius narrow against the
// ring's distance from the lens (where Pi alone carries the rounding of 1 - n), and wherever a
// step of the written form would overflow or underflow, the same magnification is taken from
// scale-free ratios with the complements formed directly (thin_ring_rescaled).
#include "models/thin_ring.hpp"

#include <cmath>
#include <limits>
#include <numbers>

#include "models/thin_ring_rescaled.hpp"
#include "numeric/legendre/ellipk.hpp"
#include "numeric/legendre/ellippi.hpp"

namespace obrivane::models {
namespace {

constexpr double two_pi = 2 * std::numbers::pi;
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Rings closer to the lens than this, absolutely or relative to l + r, use the ratio form.
constexpr double near_lens_absolute = 1e-5;
constexpr double near_lens_relative = 0.001;

// Arithmetic that notes whether any step left the normal range: a result that overflowed, or
// one that came out subnormal or zero from nonzero operands. The operations themselves are the
// plain ones, so a watched evaluation is bit for bit the unwatched one.
class RangeWatch {
 public:
  double product(double x, double y) noexcept { return watched(x * y, x != 0 && y != 0); }
  double quotient(double x, double y) noexcept { return watched(x / y, x != 0); }
  double sum(double x, double y) noexcept { return watched(x + y, false); }
  [[nodiscard]] bool lost() const noexcept { return lost_; }

 private:
  double watched(double value, bool nonzero) noexcept {
    if (!std::isfinite(value) || (nonzero && !std::isnormal(value))) lost_ = true;
    return value;
  }
  bool lost_ = false;
};

// The same arithmetic unwatched, for inputs whose size keeps every step in range.
struct NoWatch {
  static double product(double x, double y) noexcept { return x * y; }
  static double quotient(double x, double y) noexcept { return x / y; }
  static double sum(double x, double y) noexcept { return x + y; }
  static constexpr bool lost() noexcept { return false; }
};

// With l, r and q zero or between 2^-250 and 2^250, no step of the written form can overflow or
// underflow: each intermediate is a product of at most two such lengths, or a quotient of two
// such products (within 2^-1000 and 2^1000), or the magnification itself times a bounded factor.
bool moderate(double x) noexcept { return x == 0 || (x >= 0x1p-250 && x <= 0x1p250); }

// 2 pi times the magnification from the Legendre integrals K(m) and Pi(n, m), or nothing when a
// step of the evaluation leaves the normal range.
struct GeneralForm {
  bool in_range;
  ModelResult<double> scaled;
};

template <class Watch>
GeneralForm general(double l, double r, double d, double q) {
  Watch watch;
  const double sum = watch.sum(l, r);
  const double q2 = watch.product(q, q);
  const double d2 = watch.product(d, d);
  const double four_q2 = watch.product(q2, 4);
  const double d2_plus_four_q2 = watch.sum(d2, four_q2);
  const double k = watch.product(watch.quotient(watch.product(4, q), sum),
                                 std::sqrt(watch.quotient(watch.product(l, r), d2_plus_four_q2)));
  const double m = watch.product(k, k);
  const double n = watch.quotient(watch.product(watch.product(l, 4), r), watch.product(sum, sum));
  if (watch.lost()) return {false, quiet_nan};

  const numeric::EllipticResult first_kind = numeric::ellipk(m);
  if (!first_kind.ok()) return {true, ModelError{first_kind.message()}};
  const numeric::EllipticResult third_kind = numeric::ellippi(n, m);
  if (!third_kind.ok()) return {true, ModelError{third_kind.message()}};

  const double scale = watch.quotient(4, watch.product(sum, std::sqrt(d2_plus_four_q2)));
  const double weighted =
      watch.sum(watch.product(watch.sum(q2, q2), first_kind.value()), watch.product(d2, third_kind.value()));
  const double result = watch.product(scale, weighted);
  return {!watch.lost(), result};
}

}  // namespace

ModelResult<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  // A negative or non-finite distance or radius describes no ring; rstar = 0 makes q infinite.
  if (!(l >= 0 && r >= 0 && re >= 0 && rstar > 0) || !std::isfinite(l) || !std::isfinite(r) ||
      !std::isfinite(re) || !std::isfinite(rstar)) {
    return quiet_nan;
  }
  const double d = r - l;
  // A ring through the lens: the magnification diverges logarithmically. With no lens, or a ring
  // of radius zero at the lens, there is no finite answer.
  if (d == 0) return (l > 0 && re > 0) ? std::numeric_limits<double>::infinity() : quiet_nan;

  const double distance = std::fabs(d);
  if (distance < near_lens_absolute || distance < near_lens_relative * (l + r)) {
    return thin_ring_rescaled(l, r, re, rstar);
  }
  RangeWatch watch;
  const double q = watch.quotient(re, rstar);
  if (watch.lost()) return thin_ring_rescaled(l, r, re, rstar);
  // For a ring that passes the lens beyond twice the Einstein radius (2q < |d|), the d^2 Pi term
  // carries nearly the whole magnification and with it the rounding of n near 1, a relative
  // 1e-16 / (1 - n) (up to 1e-10 at the near-lens band), while a large source's magnification
  // exceeds 1 by less than that; closer in, A - 1 is at least about 1e-4 at the band and the
  // written form stands. Within |d| <= (l + r)/2 (1 - n <= 1/4; beyond, the rounding of n is not
  // amplified) the ratio form, which forms 1 - n = a^2 directly, takes over.
  if (distance <= (l + r) * 0.5 && q + q < distance) return thin_ring_rescaled(l, r, re, rstar);
  GeneralForm written = (moderate(l) && moderate(r) && moderate(q)) ? general<NoWatch>(l, r, d, q)
                                                                    : general<RangeWatch>(l, r, d, q);
  if (!written.in_range) return thin_ring_rescaled(l, r, re, rstar);
  if (!written.scaled.ok()) return written.scaled;
  return written.scaled.value() / two_pi;
}

}  // namespace obrivane::models
