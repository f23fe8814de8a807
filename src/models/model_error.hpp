// The failures a model operation returns instead of its result: one
// vocabulary for every model and every front. A failure carries its data, not
// a finished text about the host: a front writes the message, with the numbers
// as its host writes them (the Python module raises kernel failures as
// RuntimeError, values out of range as ValueError and broken assertions as its
// panic type). Model code writes nothing anywhere; reporting is the front's.
#pragma once

#include <cstddef>
#include <expected>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>

namespace mirlaxon::models {

class ModelError {
 public:
  enum class Kind {
    kernel,     // an elliptic integral rejected the arguments a model formed
    value,      // an argument the model cannot take
    assertion,  // an internal assertion failed (inconsistent inputs a caller must not pass)
  };

  // A kernel's fixed message, borrowed for the life of the process.
  static ModelError kernel(const char* text) { return ModelError(Kind::kernel, text); }

  // Item `index` of the sequence `argument`, whose value `value` is not what
  // `requirement` says it must be ("must be a finite number >= 0"); all three
  // texts are static.
  static ModelError bad_item(const char* argument, std::size_t index, double value, const char* requirement) {
    ModelError error(Kind::value, requirement);
    error.argument_ = argument;
    error.index_ = index;
    error.value_ = value;
    return error;
  }

  // Two sequences that go together but differ in length, as a value error:
  // "powers and weights differ in length (2 and 3)".
  static ModelError lengths_differ(const char* first, const char* second, std::size_t first_length,
                                   std::size_t second_length) {
    ModelError error(Kind::value, nullptr);
    error.argument_ = first;
    error.second_argument_ = second;
    error.left_ = first_length;
    error.right_ = second_length;
    return error;
  }

  // The failed assertion left == right, where it was made.
  static ModelError equality_assertion(std::size_t left, std::size_t right,
                                       std::source_location where = std::source_location::current()) {
    ModelError error(Kind::assertion, nullptr);
    error.left_ = left;
    error.right_ = right;
    error.where_ = where;
    return error;
  }

  Kind kind() const { return kind_; }
  // A bad item's value, for the front to write as its host does.
  bool has_value() const { return kind_ == Kind::value && requirement_ != nullptr; }
  double value() const { return value_; }
  // A bad item's sequence and index (a front that writes its own message).
  const char* argument() const { return argument_; }
  std::size_t index() const { return index_; }
  std::source_location where() const { return where_; }

  // The message, with `value_text` standing for the bad item's value (unused
  // by the other failures):
  //  - kernel: the kernel's text, as it is;
  //  - a bad item: "{argument}[{index}] {requirement}, not {value_text}";
  //  - lengths: "{first} and {second} differ in length ({m} and {n})";
  //  - the assertion: "assertion `left == right` failed\n  left: {left}\n right: {right}".
  std::string message(std::string_view value_text = {}) const;

 private:
  ModelError(Kind kind, const char* requirement) : kind_(kind), requirement_(requirement) {}

  Kind kind_;
  const char* requirement_;  // the kernel's text, or what a bad item must be
  const char* argument_ = nullptr;
  const char* second_argument_ = nullptr;
  std::size_t index_ = 0, left_ = 0, right_ = 0;
  double value_ = 0.0;
  std::source_location where_{};
};

template <class T>
using ModelResult = std::expected<T, ModelError>;

// What `make` makes of a result's value, or the result's failure passed on
// (std::expected's and_then, which libstdc++ 12 lacks): `make` may give a
// plain value or a result of its own.
template <class T, class Make>
auto then(const ModelResult<T>& result, const Make& make) {
  using Made = std::remove_cvref_t<std::invoke_result_t<const Make&, const T&>>;
  if constexpr (requires(const Made& made) { made.error(); }) {
    return result ? make(*result) : Made(std::unexpected(result.error()));
  } else {
    return result ? ModelResult<Made>(make(*result)) : ModelResult<Made>(std::unexpected(result.error()));
  }
}

}  // namespace mirlaxon::models
