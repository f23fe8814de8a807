#include "models/model_error.hpp"

namespace mirlaxon::models {

std::string ModelError::message(std::string_view value_text) const {
  switch (kind_) {
    case Kind::kernel: return requirement_;
    case Kind::value:
      if (requirement_ != nullptr) {
        return std::string(argument_) + "[" + std::to_string(index_) + "] " + requirement_ + ", not " +
               std::string(value_text);
      }
      return std::string(argument_) + " and " + second_argument_ + " differ in length (" + std::to_string(left_) +
             " and " + std::to_string(right_) + ")";
    case Kind::assertion:
      return "assertion `left == right` failed\n  left: " + std::to_string(left_) + "\n right: " + std::to_string(right_);
  }
  return {};
}

}  // namespace mirlaxon::models
