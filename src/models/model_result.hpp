// What a model operation hands back: its result, or an error value that the call entry raises
// as RuntimeError with the message unchanged (the messages are the static elliptic-integral
// messages, so an error value holds no interpreter object and may be made on any thread).
#pragma once

#include <utility>
#include <variant>

namespace obrivane::models {

struct ModelError {
  const char* message;
};

template <class T>
class ModelResult {
 public:
  ModelResult(T value) : outcome_(std::move(value)) {}  // NOLINT: implicit by design
  ModelResult(ModelError error) : outcome_(error) {}    // NOLINT: implicit by design

  [[nodiscard]] bool ok() const noexcept { return std::holds_alternative<T>(outcome_); }
  [[nodiscard]] T& value() & { return std::get<T>(outcome_); }
  [[nodiscard]] T&& value() && { return std::get<T>(std::move(outcome_)); }
  [[nodiscard]] const ModelError& error() const { return std::get<ModelError>(outcome_); }

 private:
  std::variant<T, ModelError> outcome_;
};

}  // namespace obrivane::models
