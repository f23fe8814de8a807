// The failure a model operation returns instead of its result. Model code
// never touches the host: the binding turns a kernel failure into the host's
// RuntimeError, an argument out of range into ValueError and a panic (a
// broken internal assertion) into PanicException.
#pragma once

#include <cstddef>
#include <expected>
#include <source_location>
#include <string>
#include <string_view>
#include <utility>

namespace mirlaxon::models {

class ModelError {
 public:
  enum class Kind { kernel, panic, value };

  // A kernel's fixed message, borrowed for the life of the process.
  static ModelError kernel(const char* text) { return ModelError(Kind::kernel, text); }

  // An argument the host converted but the model cannot take (a value out of
  // its range): the host's ValueError.
  static ModelError value(std::string message) { return ModelError(Kind::value, std::move(message)); }

  // An internal failure. Writes a diagnostic naming the source location to
  // standard error at the moment the failure is detected.
  static ModelError panic(std::string message,
                          std::source_location where = std::source_location::current());

  Kind kind() const { return kind_; }
  std::string_view message() const { return message_; }

 private:
  ModelError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

  Kind kind_;
  std::string message_;
};

template <class T>
using ModelResult = std::expected<T, ModelError>;

// The panic of a failed equality assertion, in the format callers match on:
// "assertion `left == right` failed\n  left: L\n right: R".
ModelError equality_assertion_failure(
    std::size_t left, std::size_t right,
    std::source_location where = std::source_location::current());

}  // namespace mirlaxon::models
