// The C library: every function of the module as an extern "C" entry with
// plain types, for any language with a C foreign-function interface (the
// array front reaches it through cffi). A front like the Python module: it
// converts arguments, calls the model and reports the model's failure, here
// as a status and a filled-in mirlaxon_error, never as an exception.
#include "binding/c/mirlaxon.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "models/magnifications.hpp"

namespace mirlaxon::c_front {
namespace {

void copy_text(std::span<char> destination, std::string_view text) {
  const std::size_t count = std::min(text.size(), destination.size() - 1);
  if (count > 0) std::memcpy(destination.data(), text.data(), count);  // an empty view's data may be null
  destination[count] = '\0';
}

void report(mirlaxon_error* error, int status, std::string_view message) {
  if (error == nullptr) return;
  error->status = status;
  copy_text(error->message, message);
  error->argument[0] = '\0';
  error->index = 0;
  error->value = std::nan("");
  error->value_offset = std::min(message.size(), sizeof error->message - 1);
}

int status_of(const models::ModelError& failure) {
  switch (failure.kind()) {
    case models::ModelError::Kind::kernel: return MIRLAXON_KERNEL_FAILURE;
    case models::ModelError::Kind::value: return MIRLAXON_VALUE_ERROR;
    case models::ModelError::Kind::assertion: break;
  }
  return MIRLAXON_LENGTH_MISMATCH;
}

// A model's failure: its status, and its message with a bad item's value in
// the shortest digits that read back to it; the item itself in its fields,
// for a host that writes numbers its own way (the value ends the message).
int fail(const models::ModelError& failure, mirlaxon_error* error) {
  const int status = status_of(failure);
  if (error == nullptr) return status;
  if (!failure.has_value()) {
    report(error, status, failure.message());
    return status;
  }
  char digits[32];
  const auto written = std::to_chars(digits, digits + sizeof digits, failure.value());
  const std::string_view value_text(digits, static_cast<std::size_t>(written.ptr - digits));
  const std::string message = failure.message(value_text);
  report(error, status, message);
  copy_text(error->argument, failure.argument());
  error->index = failure.index();
  error->value = failure.value();
  error->value_offset = message.size() <= sizeof error->message - 1 ? message.size() - value_text.size()
                                                                     : sizeof error->message - 1;
  return status;
}

int succeed(mirlaxon_error* error) {
  if (error != nullptr) report(error, MIRLAXON_OK, {});
  return MIRLAXON_OK;
}

// The values go to the caller's buffer only once the whole call succeeded.
int per_separation(const models::ModelResult<models::Samples>& result, double* out, mirlaxon_error* error) {
  if (!result) return fail(result.error(), error);
  std::copy(result->begin(), result->end(), out);
  return succeed(error);
}

// A gradient's three rows into the caller's three buffers, each one value
// per separation.
int gradient(const models::ModelResult<models::GradientSamples>& result, double* value, double* d_u,
             double* d_rho, mirlaxon_error* error) {
  if (!result) return fail(result.error(), error);
  std::copy(result->value.begin(), result->value.end(), value);
  std::copy(result->d_u.begin(), result->d_u.end(), d_u);
  std::copy(result->d_rho.begin(), result->d_rho.end(), d_rho);
  return succeed(error);
}

// A row per power, one after the other: row k at out + k·l_length.
int components(const models::ModelResult<models::ComponentSamples>& result, double* out, mirlaxon_error* error) {
  if (!result) return fail(result.error(), error);
  for (const models::Samples& row : *result) out = std::copy(row.begin(), row.end(), out);
  return succeed(error);
}

// A model that wrote into the caller's buffer itself, having validated its
// arguments first: on failure nothing was written.
int written(const models::ModelResult<void>& result, mirlaxon_error* error) {
  if (!result) return fail(result.error(), error);
  return succeed(error);
}

int one_value(const models::ModelResult<double>& result, double* out, mirlaxon_error* error) {
  if (!result) return fail(result.error(), error);
  *out = *result;
  return succeed(error);
}

// No exception crosses into the caller: the models allocate their results,
// and running out of memory is a status like the others.
template <class Body>
int guarded(mirlaxon_error* error, const Body& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    report(error, MIRLAXON_OUT_OF_MEMORY, "out of memory");
    return MIRLAXON_OUT_OF_MEMORY;
  } catch (...) {
    report(error, MIRLAXON_INTERNAL_FAILURE, "internal failure");
  }
  return MIRLAXON_INTERNAL_FAILURE;
}

}  // namespace
}  // namespace mirlaxon::c_front

extern "C" {
using mirlaxon::c_front::components;
using mirlaxon::c_front::gradient;
using mirlaxon::c_front::guarded;
using mirlaxon::c_front::one_value;
using mirlaxon::c_front::per_separation;
using mirlaxon::c_front::written;
namespace models = mirlaxon::models;

#include "binding/c/entries.inc"
}
