// One generic handler for every model operation: bind and convert the
// arguments by the function's description, call the model with native values
// only, and turn its result or failure into host objects.
#pragma once

#include "binding/arguments.hpp"
#include "binding/py_err.hpp"
#include "ellip/kernel_result.hpp"
#include "models/model_error.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

namespace mirlaxon::binding {

// The host side of a model's result.
PyObject* to_host(double value);
PyObject* to_host(const std::vector<double>& values);

// A kernel's value, or its failure text as RuntimeError.
inline PyObject* to_host(const ellip::KernelResult& result) {
  if (result) return to_host(*result);
  PyErr::runtime_error(result.error()).restore();
  return nullptr;
}

template <class T>
PyObject* to_host(const models::ModelResult<T>& result) {
  if (result) return to_host(*result);
  const models::ModelError& error = result.error();
  if (error.kind() == models::ModelError::Kind::kernel) {
    PyErr::runtime_error(error.message()).restore();
  } else if (error.kind() == models::ModelError::Kind::value) {
    PyErr::value_error(error.message()).restore();
  } else {
    PyErr::reported_panic(std::string(error.message())).restore();
  }
  return nullptr;
}

namespace detail {

// Gives up the interpreter lock for the life of the object and takes it back
// on every way out, an exception included, so that the panic trap always runs
// with the lock held.
class ReleasedInterpreterLock {
 public:
  ReleasedInterpreterLock() : state_(PyEval_SaveThread()) {}
  ~ReleasedInterpreterLock() { PyEval_RestoreThread(state_); }
  ReleasedInterpreterLock(const ReleasedInterpreterLock&) = delete;
  ReleasedInterpreterLock& operator=(const ReleasedInterpreterLock&) = delete;

 private:
  PyThreadState* state_;
};

template <class T>
constexpr ArgKind kind_of() {
  if constexpr (std::is_same_v<T, double>) {
    return ArgKind::number;
  } else {
    static_assert(std::is_same_v<T, std::span<const double>>,
                  "model parameters are doubles or spans of samples");
    return ArgKind::sequence;
  }
}

template <class T>
T take(Argument& argument) {
  if constexpr (std::is_same_v<T, double>) {
    return argument.number;
  } else {
    return std::span<const double>(argument.samples);
  }
}

template <class F>
struct ModelSignature;

template <class R, class... Params>
struct ModelSignature<R (*)(Params...)> {
  static constexpr std::size_t arity = sizeof...(Params);

  static constexpr bool matches(std::span<const Parameter> parameters) {
    constexpr ArgKind kinds[] = {kind_of<Params>()...};
    if (parameters.size() != arity) return false;
    for (std::size_t i = 0; i < arity; ++i) {
      if (parameters[i].kind != kinds[i]) return false;
    }
    return true;
  }

  // A long model call runs without the interpreter lock: it sees native
  // values only, so other host threads (computing other light curves) can
  // run meanwhile.
  template <auto Model, std::size_t... I>
  static PyObject* invoke(const FunctionDescription& description, Arguments& arguments,
                          std::index_sequence<I...>) {
    std::size_t work = 1;
    for (std::size_t i = 0; i < arity; ++i) {
      if (description.parameters[i].kind != ArgKind::sequence) continue;
      const std::size_t size = arguments[i].samples.size();
      work = size != 0 && work > SIZE_MAX / size ? SIZE_MAX : work * size;  // saturating
    }
    if (work < description.release_lock_from) return to_host(Model(take<Params>(arguments[I])...));
    std::optional<R> result;
    {
      const ReleasedInterpreterLock unlocked;
      result.emplace(Model(take<Params>(arguments[I])...));
    }
    return to_host(*result);
  }
};

}  // namespace detail

// The handler of `Model` under the host's fast-call-with-keywords convention.
// The description's argument kinds must match the model's parameter types.
template <const FunctionDescription& Description, auto Model>
PyObject* handler(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) {
  using Signature = detail::ModelSignature<decltype(Model)>;
  static_assert(Signature::matches(Description.parameters),
                "the description's parameters do not match the model's signature");
  return trap_panics([&]() -> PyObject* {
    Arguments arguments;
    if (auto bound = extract_arguments_fastcall(Description, args, nargs, kwnames, arguments);
        !bound) {
      std::move(bound.error()).restore();
      return nullptr;
    }
    return Signature::template invoke<Model>(Description, arguments,
                                             std::make_index_sequence<Signature::arity>{});
  });
}

}  // namespace mirlaxon::binding
