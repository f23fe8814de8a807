// Binding of fast-call arguments to parameters, and their conversion to
// native values, driven by a static description of each function.
#pragma once

#include "binding/py_err.hpp"
#include "binding/py_ref.hpp"

#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace mirlaxon::binding {

enum class ArgKind {
  number,    // a double
  sequence,  // a sample vector of doubles
};

// Every parameter name of every function. Each is interned once per process,
// so that a keyword given as a literal in the caller's code usually matches
// by identity without comparing text.
enum class ParamName : std::size_t { l, r, re, rstar, bl, bf, powers, weights, count };

inline constexpr std::array<const char*, static_cast<std::size_t>(ParamName::count)>
    PARAM_NAME_TEXT = {"l", "r", "re", "rstar", "bl", "bf", "powers", "weights"};

struct Parameter {
  ParamName name;
  ArgKind kind;

  constexpr const char* text() const { return PARAM_NAME_TEXT[static_cast<std::size_t>(name)]; }
};

inline constexpr std::size_t MAX_PARAMETERS = 5;

// When a call runs without the interpreter lock. Giving the lock up and
// taking it back costs about 30 ns (CPython) to 55 ns (PyPy): worth it for an
// integral (microseconds per separation), not for one closed-form value.
enum class LockPolicy {
  hold,              // one value: never long enough
  release,           // an integral: from one separation on
  release_for_many,  // closed forms: from RELEASE_LOCK_FROM_VALUES values on
};
inline constexpr std::size_t RELEASE_LOCK_FROM_VALUES = 32;

// Every parameter is positional-or-keyword and required; there are no
// defaults and no catch-all parameters. A function with sequences takes its
// separations first, as `l`, and computes each separation on its own.
struct FunctionDescription {
  std::string_view name;  // without "()"
  std::span<const Parameter> parameters;
  LockPolicy lock;
  // The work of a call counts model evaluations: one per separation, or,
  // for a sum over the samples of this parameter at each separation, one per
  // separation and sample.
  std::optional<ParamName> summed_over = std::nullopt;
};

// Creates the interned parameter names; called once by module initialisation.
bool intern_parameter_names();

// A converted argument: the member its kind names is set.
struct Argument {
  double number = 0.0;
  std::vector<double> samples;
};

using Arguments = std::array<Argument, MAX_PARAMETERS>;

// Binds `nargs` positional arguments and the keywords named in `kwnames`
// (values following the positional ones in `args`), then converts every
// parameter in order. Fails with the first problem in the order: too many
// positional arguments, keyword problems, missing parameters, conversions
// (earliest parameter first).
// Conversions, exposed for the result side and for tests of the rules.
std::expected<double, PyErr> extract_number(PyObject* object);
std::expected<std::vector<double>, PyErr> extract_samples(PyObject* object);

// A sequence's converter: extract_samples, or a front's own with the same rules.
using SamplesConverter = std::expected<std::vector<double>, PyErr> (*)(PyObject*);

std::expected<void, PyErr> extract_arguments_fastcall(const FunctionDescription& function,
                                                      PyObject* const* args, Py_ssize_t nargs,
                                                      PyObject* kwnames, Arguments& converted,
                                                      SamplesConverter convert_samples = extract_samples);

// Re-words a conversion failure as "argument '{name}': {text}" when its type
// is exactly TypeError; any other error passes through unchanged.
PyErr argument_extraction_error(std::string_view parameter_name, PyErr error);

// The first reservation a sequence's length hint may ask for; longer
// sequences grow as their items arrive, so an absurd hint costs nothing.
inline constexpr std::size_t MAX_RESERVATION = std::size_t{1} << 20;

}  // namespace mirlaxon::binding
