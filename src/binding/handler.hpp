// One generic handler for every model operation: bind and convert the
// arguments by the function's description, call the model with native values
// only, and turn its result or failure into host objects.
#pragma once

#include "binding/arguments.hpp"
#include "binding/py_err.hpp"
#include "models/model_error.hpp"
#include "models/samples.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace mirlaxon::binding {

// The host side of a model's result.
PyObject* to_host(double value);
PyObject* to_host(const std::vector<double>& values);
PyObject* to_host(const models::GradientSamples& gradient);     // (value, d_u, d_rho)
PyObject* to_host(const models::ComponentSamples& components);  // a list per power

// A model's result, or its failure raised.
template <class T>
PyObject* to_host(const models::ModelResult<T>& result) {
  if (result) return to_host(*result);
  PyErr::from_model(result.error()).restore();
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

// Consecutive pieces of a call's separations, each sized from the time the
// previous one took, so that the host's signals are looked at about every
// PIECE_TIME of work whatever one separation costs (0.1 µs for a closed
// form, hundreds for a tabulated profile under the sanitizers).
class SeparationPieces {
 public:
  static constexpr std::chrono::microseconds PIECE_TIME{20'000};
  // The first piece, in separations of an integral and in evaluations of a
  // closed form (about a millisecond of work either way).
  static constexpr std::size_t FIRST_INTEGRALS = 16;
  static constexpr std::size_t FIRST_CLOSED_FORMS = 4096;
  static constexpr double MAX_GROWTH = 8.0;

  SeparationPieces(std::size_t total, std::size_t first) : total_(total), size_(first) {}

  // The next piece as (offset, count); (0, 0) once for no separations, so
  // that the model still checks its other arguments.
  std::pair<std::size_t, std::size_t> next() {
    count_ = std::min(size_, total_ - offset_);
    return {offset_, count_};
  }

  void took(std::chrono::steady_clock::duration elapsed) {
    offset_ += count_;
    done_ = offset_ >= total_;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double target = std::chrono::duration<double>(PIECE_TIME).count();
    const double scale = seconds > 0.0 ? std::min(target / seconds, MAX_GROWTH) : MAX_GROWTH;
    const double next = static_cast<double>(count_ == 0 ? 1 : count_) * scale;
    size_ = next < 1.0 ? 1 : next >= static_cast<double>(total_) ? total_ : static_cast<std::size_t>(next);
  }

  bool done() const { return done_; }

 private:
  std::size_t total_;
  std::size_t offset_ = 0;
  std::size_t count_ = 0;
  std::size_t size_;
  bool done_ = false;
};

// The module's result: a float, or a list of floats.
struct ModuleResult {
  template <class T>
  PyObject* operator()(const T& result) const {
    return to_host(result);
  }
};

// What a model returns on success: its result, unwrapped from ModelResult.
template <class R>
struct ValuesOf {
  using type = R;
};
template <class T>
struct ValuesOf<models::ModelResult<T>> {
  using type = T;
};

// The results whose values run along the separations, one row or several,
// so that a call computed in pieces of its separations gives, piece after
// piece appended row by row, what the whole call gives.
template <class T>
constexpr bool runs_along_separations = std::is_same_v<T, models::Samples> ||
                                        std::is_same_v<T, models::GradientSamples> ||
                                        std::is_same_v<T, models::ComponentSamples>;

inline void reserve(models::Samples& values, std::size_t count) { values.reserve(count); }
inline void reserve(models::GradientSamples& values, std::size_t count) {
  values.value.reserve(count);
  values.d_u.reserve(count);
  values.d_rho.reserve(count);
}
inline void reserve(models::ComponentSamples& /*rows*/, std::size_t /*count*/) {}  // rows unknown yet

inline void append(models::Samples& values, const models::Samples& piece) {
  values.insert(values.end(), piece.begin(), piece.end());
}
inline void append(models::GradientSamples& values, const models::GradientSamples& piece) {
  append(values.value, piece.value);
  append(values.d_u, piece.d_u);
  append(values.d_rho, piece.d_rho);
}
// Every piece has a row per power (the first piece, possibly of no
// separations, sets their number).
inline void append(models::ComponentSamples& rows, const models::ComponentSamples& piece) {
  if (rows.size() < piece.size()) rows.resize(piece.size());
  for (std::size_t k = 0; k < piece.size(); ++k) append(rows[k], piece[k]);
}

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
  using Values = typename ValuesOf<R>::type;

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
  // run meanwhile. Models with separations first are computed in pieces of
  // the separations (every model's value at a separation is independent of
  // the others, to the bit), taking the lock back between pieces to run the
  // host's signal handlers, so that Ctrl-C ends a long call.
  //
  // `convert` makes the host's result of the model's result or failure
  // (the module's lists, or the array front's arrays).
  template <auto Model, std::size_t... I, class Convert = ModuleResult>
  static PyObject* invoke(const FunctionDescription& description, Arguments& arguments,
                          std::index_sequence<I...>, const Convert& convert = {}) {
    if (!releases_lock(description, arguments)) return convert(Model(take<Params>(arguments[I])...));
    if constexpr (batched_over_separations) {
      // One piece needs no clock and no gathering of pieces.
      if (in_pieces(description, arguments)) {
        return invoke_interruptible<Model>(arguments, first_piece(description, arguments),
                                           std::index_sequence<I...>{}, convert);
      }
    }
    std::optional<R> result;
    {
      const ReleasedInterpreterLock unlocked;
      result.emplace(Model(take<Params>(arguments[I])...));
    }
    return convert(*result);
  }

  // Model evaluations per separation: one, or one per sample summed over.
  static std::size_t work_per_separation(const FunctionDescription& description,
                                         const Arguments& arguments) {
    for (std::size_t i = 0; i < arity; ++i) {
      if (description.parameters[i].name == description.summed_over) {
        return arguments[i].samples.size();
      }
    }
    return 1;
  }

  // A function that may give up the lock takes its separations first (the
  // handler checks that at compile time).
  static bool releases_lock(const FunctionDescription& description, const Arguments& arguments) {
    if (description.lock == LockPolicy::hold) return false;
    const std::size_t separations = arguments[0].samples.size();
    const std::size_t per_separation = work_per_separation(description, arguments);
    const std::size_t work = per_separation != 0 && separations > SIZE_MAX / per_separation
                                 ? SIZE_MAX
                                 : separations * per_separation;  // saturating
    return work >= (description.lock == LockPolicy::release ? 1 : RELEASE_LOCK_FROM_VALUES);
  }

  // The first piece's separations, before any piece has been timed: an
  // integral's few (each costs microseconds to a millisecond), a closed
  // form's many, fewer as each sums over more samples.
  static std::size_t first_piece(const FunctionDescription& description, const Arguments& arguments) {
    if (description.lock == LockPolicy::release) return SeparationPieces::FIRST_INTEGRALS;
    const std::size_t per_separation = std::max<std::size_t>(1, work_per_separation(description, arguments));
    return std::max<std::size_t>(1, SeparationPieces::FIRST_CLOSED_FORMS / per_separation);
  }

  static constexpr bool batched_over_separations = [] {
    if constexpr (arity == 0) {
      return false;
    } else {
      using First = std::tuple_element_t<0, std::tuple<Params...>>;
      return std::is_same_v<First, std::span<const double>> && runs_along_separations<Values>;
    }
  }();

  enum class PiecesOutcome { done, stopped, interrupted };

  // compute(offset, count) over `total` separations in pieces, each run
  // without the interpreter lock and timed to size the next, the host's
  // signal handlers run between them. `stopped` when compute returned false
  // (its failure, which the caller keeps), `interrupted` when a handler
  // raised (the host's exception is set).
  template <class Compute>
  static PiecesOutcome run_in_pieces(std::size_t total, std::size_t first, const Compute& compute) {
    SeparationPieces pieces(total, first);
    do {
      const auto [offset, count] = pieces.next();
      bool computed = false;
      {
        const ReleasedInterpreterLock unlocked;
        const auto started = std::chrono::steady_clock::now();
        computed = compute(offset, count);
        pieces.took(std::chrono::steady_clock::now() - started);
      }
      if (!computed) return PiecesOutcome::stopped;
      if (!pieces.done() && check_signals() < 0) return PiecesOutcome::interrupted;
    } while (!pieces.done());
    return PiecesOutcome::done;
  }

  template <auto Model, std::size_t... I, class Convert>
  static PyObject* invoke_interruptible(Arguments& arguments, std::size_t first,
                                        std::index_sequence<I...>, const Convert& convert) {
    const std::span<const double> separations(arguments[0].samples);
    Values values;
    reserve(values, separations.size());
    std::optional<R> failed;
    const PiecesOutcome outcome = run_in_pieces(separations.size(), first, [&](std::size_t offset, std::size_t count) {
      R piece = Model(take_or_piece<Params, I>(arguments[I], separations.subspan(offset, count))...);
      if constexpr (std::is_same_v<R, Values>) {
        append(values, piece);
      } else {
        if (!piece) {
          failed.emplace(std::move(piece));
          return false;
        }
        append(values, *piece);
      }
      return true;
    });
    if (outcome == PiecesOutcome::stopped) return convert(*failed);  // the failure, as a whole call reports it
    if (outcome == PiecesOutcome::interrupted) return nullptr;        // no partial result
    return convert(values);
  }

  // `Into`, the model writing its values into `target` (one per
  // separation) itself, over the separations as invoke runs the model: in
  // pieces without the lock, the signal handlers run between them. True
  // once every value is written, false when a handler raised (the host's
  // exception is set), or the model's failure (then nothing was written:
  // such a model validates before it writes, on the first piece).
  template <auto Into, std::size_t... I>
  static models::ModelResult<bool> invoke_into(const FunctionDescription& description, Arguments& arguments,
                                               std::index_sequence<I...>, std::span<double> target) {
    if (!in_pieces(description, arguments)) {
      std::optional<models::ModelResult<void>> written;
      if (releases_lock(description, arguments)) {
        const ReleasedInterpreterLock unlocked;
        written.emplace(Into(take<Params>(arguments[I])..., target));
      } else {
        written.emplace(Into(take<Params>(arguments[I])..., target));
      }
      if (!*written) return std::unexpected(written->error());
      return true;
    }
    const std::span<const double> separations(arguments[0].samples);
    std::optional<models::ModelError> failure;
    const PiecesOutcome outcome = run_in_pieces(
        separations.size(), first_piece(description, arguments), [&](std::size_t offset, std::size_t count) {
          const models::ModelResult<void> written =
              Into(take_or_piece<Params, I>(arguments[I], separations.subspan(offset, count))...,
                   target.subspan(offset, count));
          if (!written) failure.emplace(written.error());
          return written.has_value();
        });
    if (outcome == PiecesOutcome::stopped) return std::unexpected(*failure);
    return outcome == PiecesOutcome::done;
  }

  // Whether invoke runs more than one piece.
  static bool in_pieces(const FunctionDescription& description, const Arguments& arguments) {
    return releases_lock(description, arguments) &&
           arguments[0].samples.size() > first_piece(description, arguments);
  }

  template <class T, std::size_t Index>
  static T take_or_piece(Argument& argument, std::span<const double> piece) {
    if constexpr (Index == 0) {
      return piece;
    } else {
      return take<T>(argument);
    }
  }
};

}  // namespace detail

// The text signature the host derives inspect.signature() from,
// "name(p1, p2)\n--\n\n", made from the description.
template <const FunctionDescription& Description>
struct TextSignature {
  static constexpr std::string_view END = ")\n--\n\n";
  static constexpr std::string_view SEPARATOR = ", ";

  static constexpr std::size_t length = [] {
    std::size_t total = Description.name.size() + 1 + END.size();
    for (std::size_t i = 0; i < Description.parameters.size(); ++i) {
      total += std::string_view(Description.parameters[i].text()).size() + (i == 0 ? 0 : SEPARATOR.size());
    }
    return total;
  }();

  static constexpr std::array<char, length + 1> text = [] {
    std::array<char, length + 1> out{};
    std::size_t at = 0;
    const auto append = [&](std::string_view part) {
      for (const char c : part) out[at++] = c;
    };
    append(Description.name);
    append("(");
    for (std::size_t i = 0; i < Description.parameters.size(); ++i) {
      if (i != 0) append(SEPARATOR);
      append(Description.parameters[i].text());
    }
    append(END);
    return out;  // the last char stays '\0'
  }();
};

// The handler of `Model` under the host's fast-call-with-keywords convention.
// The description's argument kinds must match the model's parameter types.
template <const FunctionDescription& Description, auto Model>
PyObject* handler(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) {
  using Signature = detail::ModelSignature<decltype(Model)>;
  static_assert(Description.parameters.size() <= MAX_PARAMETERS,
                "the binder holds at most MAX_PARAMETERS arguments");
  static_assert(Signature::matches(Description.parameters),
                "the description's parameters do not match the model's signature");
  static_assert(Description.lock == LockPolicy::hold ||
                    (!Description.parameters.empty() && Description.parameters[0].name == ParamName::l &&
                     Description.parameters[0].kind == ArgKind::sequence),
                "a function that gives up the lock takes its separations first");
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
