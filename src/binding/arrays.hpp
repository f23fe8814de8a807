// The array front's functions under CPython: the module's own binder and
// descriptions, with one more keyword, `out`, and float64 arrays for results
// instead of lists (a host object per call, not per value). Sequences are
// read as the module reads them: a contiguous float64 buffer in one copy.
#pragma once

#include "binding/handler.hpp"

#include <memory>
#include <span>
#include <vector>

namespace mirlaxon::binding {

// The caller's `out`: a writable, one-dimensional, contiguous float64
// buffer, held (so that it can't be resized) until the values are written.
class OutBuffer {
 public:
  OutBuffer() = default;
  ~OutBuffer();
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;

  // Takes `out` for `count` values: TypeError for anything but a writable
  // float64 buffer, ValueError for one of another length; `name` is the
  // argument's in the messages ("out", or "out[k]" for one of several).
  std::expected<void, PyErr> take(PyObject* out, std::size_t count, const std::string& name = "out");
  bool held() const { return held_; }
  void write(const models::Samples& values) const;
  double* data() const { return static_cast<double*>(view_.buf); }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// The caller's `out` for a result of `rows` rows (a gradient's three, a row
// per power): a tuple or list of as many buffers, each taken as a single
// `out` is. A result of one row per separation takes `out` itself.
class OutBuffers {
 public:
  std::expected<void, PyErr> take(PyObject* out, std::size_t rows, std::size_t count, bool one_row);
  const OutBuffer& operator[](std::size_t k) const { return buffers_[k]; }

 private:
  std::unique_ptr<OutBuffer[]> buffers_;
};

// The host's result of an array function: its values in the caller's `out`
// (then `out` itself), or in a new numpy float64 array when the separations
// came as a numpy array, else in a new array('d'). A model's failure raises
// the module's exception, except that a broken length assertion (a flux map
// of two lengths) is a ValueError with the same text.
// A gradient is a tuple of three such arrays (value, d_u, d_rho), components
// a list of them, one per power.
struct ArrayResult {
  PyObject* separations;  // borrowed
  PyObject* out;          // borrowed; null for none
  const OutBuffers& buffers;

  PyObject* operator()(const models::Samples& values) const;
  PyObject* operator()(const models::GradientSamples& gradient) const;
  PyObject* operator()(const models::ComponentSamples& rows) const;
  template <class T>
  PyObject* operator()(const models::ModelResult<T>& result) const {
    if (result) return (*this)(*result);
    return failure(result.error());
  }
  PyObject* failure(const models::ModelError& error) const;

 private:
  bool numpy() const;
  // Several rows, as a tuple or a list of new arrays, or into `out`'s buffers.
  PyObject* several_rows(std::span<const models::Samples* const> rows, bool tuple) const;
};

// A model's failure raised as the array front raises it: the module's
// exception, except a broken length assertion (a flux map of two lengths),
// a ValueError with the same text. Returns null.
PyObject* raise_failure(const models::ModelError& error);

// A new float64 array of `count` values (numpy's when the separations came
// as a numpy array, else array('d')), its memory, still to be written, in
// `*data`.
PyObject* new_result_array(std::size_t count, PyObject* separations, double** data);


// The rows of a model's result: one for values per separation, three for a
// gradient, one per power for components.
template <const FunctionDescription& Description, class Values>
std::size_t result_rows(const Arguments& arguments) {
  if constexpr (std::is_same_v<Values, models::GradientSamples>) {
    return 3;
  } else if constexpr (std::is_same_v<Values, models::ComponentSamples>) {
    for (std::size_t i = 0; i < Description.parameters.size(); ++i) {
      if (Description.parameters[i].name == ParamName::powers) return arguments[i].samples.size();
    }
    return 0;  // the generator gives components a `powers` argument
  } else {
    return 1;
  }
}

// A call's arguments without the `out` keyword, and what `out` and the
// separations are.
struct ArrayCall {
  std::vector<PyObject*> args;  // only when `out` was given
  PyRef kwnames;
  PyObject* const* call_args = nullptr;
  PyObject* call_kwnames = nullptr;
  PyObject* out = nullptr;          // borrowed; null for none or None
  PyObject* separations = nullptr;  // borrowed; null if not given
};
std::expected<void, PyErr> split_array_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                            ArrayCall& call);

// The array front's sequences: extract_samples' rules and results, with a
// list or tuple read item by item in place (no iterator object), as its
// iterator would read it: the length looked at before every item, so that a
// conversion hook changing the list is seen the same way.
std::expected<std::vector<double>, PyErr> extract_samples_in_place(PyObject* object);

// Adds the submodule `_arrays` (the array functions of `table`, ended by an
// empty row) to the module.
std::expected<void, PyErr> add_array_functions(PyObject* module, PyMethodDef* table);

// A model that writes its values into the caller's memory (`Into`) as an
// array function: its values straight into the new array, or into `out`
// (through scratch memory when the call runs in pieces, so that a Ctrl-C
// between pieces leaves `out` alone), with no result of the model's own.
template <class Signature, auto Into>
PyObject* array_into(const FunctionDescription& description, Arguments& arguments, const ArrayCall& call,
                     const OutBuffers& buffers) {
  const std::size_t count = arguments[0].samples.size();
  PyRef result;
  std::vector<double> scratch;
  std::span<double> target;
  if (call.out == nullptr) {
    double* data = nullptr;
    result = PyRef(new_result_array(count, call.separations, &data));
    if (!result) return nullptr;
    target = std::span<double>(data, count);
  } else if (Signature::in_pieces(description, arguments)) {
    scratch.resize(count);
    target = std::span<double>(scratch);
  } else {
    target = std::span<double>(buffers[0].data(), count);
  }
  const models::ModelResult<bool> written = Signature::template invoke_into<Into>(
      description, arguments, std::make_index_sequence<Signature::arity>{}, target);
  if (!written) return raise_failure(written.error());
  if (!*written) return nullptr;  // interrupted
  if (call.out == nullptr) return result.release();
  if (!scratch.empty()) buffers[0].write(scratch);
  Py_INCREF(call.out);
  return call.out;
}

template <const FunctionDescription& Description, auto Model, auto Into = nullptr>
PyObject* array_handler(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  using Signature = detail::ModelSignature<decltype(Model)>;
  static_assert(Signature::matches(Description.parameters),
                "the description's parameters do not match the model's signature");
  static_assert(Signature::batched_over_separations, "an array function takes its separations first");
  return trap_panics([&]() -> PyObject* {
    ArrayCall call;
    Arguments arguments;
    if (auto split = split_array_call(args, nargs, kwnames, call); !split) {
      std::move(split.error()).restore();
      return nullptr;
    }
    if (auto bound = extract_arguments_fastcall(Description, call.call_args, nargs, call.call_kwnames, arguments,
                                                &extract_samples_in_place);
        !bound) {
      std::move(bound.error()).restore();
      return nullptr;
    }
    using Values = typename Signature::Values;
    OutBuffers buffers;
    if (call.out != nullptr) {
      if (auto taken = buffers.take(call.out, result_rows<Description, Values>(arguments),
                                    arguments[0].samples.size(), std::is_same_v<Values, models::Samples>);
          !taken) {
        std::move(taken.error()).restore();
        return nullptr;
      }
    }
    if constexpr (!std::is_same_v<decltype(Into), std::nullptr_t>) {
      return array_into<Signature, Into>(Description, arguments, call, buffers);
    } else {
      return Signature::template invoke<Model>(Description, arguments, std::make_index_sequence<Signature::arity>{},
                                               ArrayResult{call.separations, call.out, buffers});
    }
  });
}

template <const FunctionDescription& Description, auto Model, auto Into = nullptr>
constexpr PyMethodDef array_method(const char* text_signature) {
  return PyMethodDef{Description.name.data(),
                     reinterpret_cast<PyCFunction>(
                         reinterpret_cast<void (*)()>(&array_handler<Description, Model, Into>)),
                     METH_FASTCALL | METH_KEYWORDS, text_signature};
}

}  // namespace mirlaxon::binding
