// The outcome of every elliptic-integral routine: a binary64 value, or one of a fixed set of
// statically allocated messages. Messages are never formatted, allocated or freed, so the type
// is trivially copyable and safe to return from the worker threads.
#pragma once

namespace obrivane::numeric {

class EllipticResult {
 public:
  static constexpr EllipticResult value_of(double value) noexcept { return EllipticResult(value, nullptr); }
  static constexpr EllipticResult failure(const char* message) noexcept {
    return EllipticResult(0.0, message);
  }

  [[nodiscard]] constexpr bool ok() const noexcept { return message_ == nullptr; }
  [[nodiscard]] constexpr double value() const noexcept { return value_; }
  // The static message; null on success.
  [[nodiscard]] constexpr const char* message() const noexcept { return message_; }

 private:
  constexpr EllipticResult(double value, const char* message) noexcept : value_(value), message_(message) {}

  double value_;
  const char* message_;
};

}  // namespace obrivane::numeric
