#include "models/model_error.hpp"

#include <cstdio>

namespace mirlaxon::models {

ModelError ModelError::panic(std::string message, std::source_location where) {
  std::fprintf(stderr, "mirlaxon: internal failure at %s:%u:%u:\n%s\n", where.file_name(),
               static_cast<unsigned>(where.line()), static_cast<unsigned>(where.column()),
               message.c_str());
  return ModelError(Kind::panic, std::move(message));
}

ModelError equality_assertion_failure(std::size_t left, std::size_t right,
                                      std::source_location where) {
  return ModelError::panic("assertion `left == right` failed\n  left: " + std::to_string(left) +
                               "\n right: " + std::to_string(right),
                           where);
}

}  // namespace mirlaxon::models
