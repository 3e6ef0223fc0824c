// Forward-mode differentiation: a value x together with its derivatives dx/dz_i with respect to N
// independent variables z_i. Every operation applies the chain rule to the tangents,
//   (x y)' = x' y + x y',  (x / y)' = (x' - (x / y) y') / y,  sqrt(x)' = x' / (2 sqrt(x)),
// so a formula written once for a scalar type gives, with Dual, the exact derivatives of what it
// computes (its rounding aside). The values are formed by the same operations as with doubles, so
// a formula's value comes out the same bit for bit either way.
//
// value_of() and the functions below also take doubles, so that code templated on the scalar type
// compares and branches on values alike for both.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace obrivane::numeric {

template <std::size_t N>
class Dual {
 public:
  double value = 0;
  std::array<double, N> tangent{};

  constexpr Dual() noexcept = default;
  // A constant: every derivative 0.
  constexpr Dual(double constant) noexcept : value(constant) {}  // NOLINT: implicit by design
  constexpr Dual(double x, const std::array<double, N>& derivatives) noexcept
      : value(x), tangent(derivatives) {}

  // The independent variable number `index`: derivative 1 with respect to itself.
  static constexpr Dual variable(double x, std::size_t index) noexcept {
    Dual result(x);
    result.tangent[index] = 1;
    return result;
  }
};

constexpr double value_of(double x) noexcept { return x; }
template <std::size_t N>
constexpr double value_of(const Dual<N>& x) noexcept {
  return x.value;
}

template <std::size_t N>
constexpr Dual<N> operator-(const Dual<N>& x) noexcept {
  Dual<N> result(-x.value);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = -x.tangent[i];
  return result;
}

template <std::size_t N>
constexpr Dual<N> operator+(const Dual<N>& x, const Dual<N>& y) noexcept {
  Dual<N> result(x.value + y.value);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x.tangent[i] + y.tangent[i];
  return result;
}

template <std::size_t N>
constexpr Dual<N> operator-(const Dual<N>& x, const Dual<N>& y) noexcept {
  Dual<N> result(x.value - y.value);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x.tangent[i] - y.tangent[i];
  return result;
}

template <std::size_t N>
constexpr Dual<N> operator*(const Dual<N>& x, const Dual<N>& y) noexcept {
  Dual<N> result(x.value * y.value);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x.tangent[i] * y.value + x.value * y.tangent[i];
  return result;
}

template <std::size_t N>
constexpr Dual<N> operator/(const Dual<N>& x, const Dual<N>& y) noexcept {
  const double quotient = x.value / y.value;
  Dual<N> result(quotient);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = (x.tangent[i] - quotient * y.tangent[i]) / y.value;
  return result;
}

// With a constant on one side: the constant's tangents are 0, and the arithmetic is spared.
template <std::size_t N>
constexpr Dual<N> operator+(const Dual<N>& x, double y) noexcept {
  return Dual<N>(x.value + y, x.tangent);
}
template <std::size_t N>
constexpr Dual<N> operator+(double x, const Dual<N>& y) noexcept {
  return Dual<N>(x + y.value, y.tangent);
}
template <std::size_t N>
constexpr Dual<N> operator-(const Dual<N>& x, double y) noexcept {
  return Dual<N>(x.value - y, x.tangent);
}
template <std::size_t N>
constexpr Dual<N> operator-(double x, const Dual<N>& y) noexcept {
  Dual<N> result(x - y.value);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = -y.tangent[i];
  return result;
}
template <std::size_t N>
constexpr Dual<N> operator*(const Dual<N>& x, double y) noexcept {
  Dual<N> result(x.value * y);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x.tangent[i] * y;
  return result;
}
template <std::size_t N>
constexpr Dual<N> operator*(double x, const Dual<N>& y) noexcept {
  Dual<N> result(x * y.value);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x * y.tangent[i];
  return result;
}
template <std::size_t N>
constexpr Dual<N> operator/(const Dual<N>& x, double y) noexcept {
  Dual<N> result(x.value / y);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x.tangent[i] / y;
  return result;
}
template <std::size_t N>
constexpr Dual<N> operator/(double x, const Dual<N>& y) noexcept {
  const double quotient = x / y.value;
  Dual<N> result(quotient);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = -(quotient * y.tangent[i]) / y.value;
  return result;
}

template <std::size_t N>
constexpr Dual<N>& operator+=(Dual<N>& x, const Dual<N>& y) noexcept {
  x = x + y;
  return x;
}

template <std::size_t N>
Dual<N> sqrt(const Dual<N>& x) noexcept {
  const double root = std::sqrt(x.value);
  Dual<N> result(root);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x.tangent[i] / (2 * root);
  return result;
}

// |x|; at x = 0 the derivative of x itself is kept (a one-sided choice, never taken where it
// matters below: the callers handle a zero argument on their own).
template <std::size_t N>
Dual<N> fabs(const Dual<N>& x) noexcept {
  return x.value < 0 ? -x : x;
}

// The smaller of x and a constant: x with its tangents, or the constant with none.
template <std::size_t N>
Dual<N> fmin(const Dual<N>& x, double bound) noexcept {
  return x.value <= bound ? x : Dual<N>(std::fmin(x.value, bound));
}

// x 2^exponent, exact: the tangents scale alike.
template <std::size_t N>
Dual<N> ldexp(const Dual<N>& x, int exponent) noexcept {
  Dual<N> result(std::ldexp(x.value, exponent));
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = std::ldexp(x.tangent[i], exponent);
  return result;
}

template <std::size_t N>
Dual<N> atan(const Dual<N>& x) noexcept {
  Dual<N> result(std::atan(x.value));
  const double slope = 1 / (1 + x.value * x.value);
  for (std::size_t i = 0; i < N; ++i) result.tangent[i] = x.tangent[i] * slope;
  return result;
}

// base^exponent for base >= 0, both varying: (b^e)' = b^e (e' ln b + e b'/b). At b = 0 the value
// 0 with no tangent, the limit for a positive exponent (the callers' case).
template <std::size_t N>
Dual<N> pow(const Dual<N>& base, const Dual<N>& exponent) noexcept {
  if (base.value == 0) return Dual<N>(0.0);
  const double power = std::pow(base.value, exponent.value);
  const double logarithm = std::log(base.value);
  const double ratio = exponent.value / base.value;
  Dual<N> result(power);
  for (std::size_t i = 0; i < N; ++i)
    result.tangent[i] = power * (exponent.tangent[i] * logarithm + ratio * base.tangent[i]);
  return result;
}

}  // namespace obrivane::numeric
