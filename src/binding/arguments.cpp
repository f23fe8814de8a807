#include "binding/arguments.hpp"

#include <algorithm>
#include <bit>
#include <optional>
#include <cstring>
#include <string>

namespace mirlaxon::binding {
namespace {

std::array<PyObject*, static_cast<std::size_t>(ParamName::count)> interned_names{};

PyObject* interned(ParamName name) { return interned_names[static_cast<std::size_t>(name)]; }

std::string call_name(const FunctionDescription& function) {
  return std::string(function.name) + "()";
}

// The UTF-8 text of a keyword name, or false if it has none (not a str, or a
// str that can't be encoded, such as one holding a lone surrogate).
bool keyword_text(PyObject* keyword, std::string_view& text) {
  if (PyUnicode_Check(keyword) == 0) return false;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(keyword, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return false;
  }
  text = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

PyErr unexpected_keyword(const FunctionDescription& function, PyObject* keyword) {
  std::string_view text;
  if (keyword_text(keyword, text)) {
    return PyErr::type_error(call_name(function) + " got an unexpected keyword argument '" +
                             std::string(text) + "'");
  }
  // No UTF-8 text: show str() of the name object, built by the host so that
  // whatever it holds survives into the message.
  PyRef shown(PyObject_Str(keyword));
  if (!shown) return PyErr::fetch();
  const std::string name = call_name(function);
  PyRef message(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", name.c_str(),
                                     shown.get()));
  if (!message) return PyErr::fetch();
  PyObject* exception = PyObject_CallOneArg(PyExc_TypeError, message.get());
  if (exception == nullptr) return PyErr::fetch();
  return PyErr::from_exception(exception);
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_list(std::span<const char* const> names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() == 2) {
        list += " and ";
      } else {
        list += i + 1 == names.size() ? ", and " : ", ";
      }
    }
    list += '\'';
    list += names[i];
    list += '\'';
  }
  return list;
}

std::expected<std::size_t, PyErr> match_keyword(const FunctionDescription& function,
                                                PyObject* keyword) {
  const auto parameters = function.parameters;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (keyword == interned(parameters[i].name)) return i;
  }
  std::string_view text;
  if (!keyword_text(keyword, text)) return std::unexpected(unexpected_keyword(function, keyword));
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (text == parameters[i].text()) return i;
  }
  return std::unexpected(unexpected_keyword(function, keyword));
}

std::string type_qualified_name(PyObject* object) {
  PyRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (name && PyUnicode_Check(name.get()) != 0) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(name.get(), &size);
    if (data != nullptr) return std::string(data, static_cast<std::size_t>(size));
  }
  PyErr_Clear();
  return "<failed to extract type name>";
}

#ifndef PYPY_VERSION
// A native float64 format: "d", optionally with a byte-order prefix that
// means this machine's order.
bool is_native_double_format(const char* format) {
  if (format == nullptr) return false;
  if (format[0] == '@' || format[0] == '=' || (format[0] == '<' && std::endian::native == std::endian::little) ||
      (format[0] == '>' && std::endian::native == std::endian::big)) {
    ++format;
  }
  return std::strcmp(format, "d") == 0;
}
#endif

// The items of a one-dimensional, C-contiguous buffer of native doubles
// (numpy float64 arrays, array.array('d'), memoryviews of them), copied in
// one go: the same values the sequence's iteration would give, without a
// host call per item. Anything else, or a buffer that cannot be had, is left
// to the iteration (nothing, with no error pending).
//
// Not under PyPy: its compatibility layer (7.3.11) allocates the format text
// of every buffer it exports and never frees it, whatever flags are asked
// for (2 bytes per call, seen by LeakSanitizer), so there the iteration,
// which leaks nothing, is used for every sequence.
std::optional<std::vector<double>> samples_from_buffer(PyObject* object) {
#ifdef PYPY_VERSION
  (void)object;
  return std::nullopt;
#else
  if (PyObject_CheckBuffer(object) == 0) return std::nullopt;
  Py_buffer view;
  // One request that every exporter can serve, with shape and strides, and
  // the layout checked here: a strided or many-dimensional view is iterated.
  if (PyObject_GetBuffer(object, &view, PyBUF_RECORDS_RO) < 0) {
    PyErr_Clear();
    return std::nullopt;
  }
  constexpr auto item_size = static_cast<Py_ssize_t>(sizeof(double));
  std::optional<std::vector<double>> samples;
  const bool one_dimension = view.ndim == 1 && view.shape != nullptr && view.shape[0] >= 0;
  if (one_dimension && view.itemsize == item_size && is_native_double_format(view.format) &&
      (view.strides == nullptr || view.strides[0] == item_size || view.shape[0] <= 1) &&
      view.len == view.shape[0] * item_size && view.suboffsets == nullptr) {
    const auto count = static_cast<std::size_t>(view.shape[0]);
    samples.emplace(count);
    if (count > 0) std::memcpy(samples->data(), view.buf, count * sizeof(double));
  }
  PyBuffer_Release(&view);
  return samples;
#endif
}

}  // namespace

bool intern_parameter_names() {
  for (std::size_t i = 0; i < interned_names.size(); ++i) {
    if (interned_names[i] != nullptr) continue;
    PyObject* name = PyUnicode_InternFromString(PARAM_NAME_TEXT[i]);
    if (name == nullptr) return false;
    interned_names[i] = name;  // kept for the life of the process
  }
  return true;
}

std::expected<double, PyErr> extract_number(PyObject* object) {
  // An exact float is read in place: no host call for the common case.
  if (Py_TYPE(object) == &PyFloat_Type) return reinterpret_cast<PyFloatObject*>(object)->ob_fval;
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred() != nullptr) return std::unexpected(PyErr::fetch());
  return value;
}

std::expected<std::vector<double>, PyErr> extract_samples(PyObject* object) {
  if (PyUnicode_Check(object) != 0) {
    return std::unexpected(PyErr::type_error("Can't extract `str` to `Vec`"));
  }
  if (PySequence_Check(object) == 0) {
    return std::unexpected(PyErr::type_error("'" + type_qualified_name(object) +
                                             "' object cannot be converted to 'Sequence'"));
  }
  if (auto samples = samples_from_buffer(object)) return std::move(*samples);

  // The length is only a hint for the first allocation: a failing or lying
  // __len__ changes nothing but how often the vector grows.
  Py_ssize_t hint = PySequence_Size(object);
  if (hint < 0) {
    PyErr_Clear();
    hint = 0;
  }
  std::vector<double> samples;
  samples.reserve(std::min(static_cast<std::size_t>(hint), MAX_RESERVATION));

  PyRef iterator(PyObject_GetIter(object));
  if (!iterator) return std::unexpected(PyErr::fetch());
  while (PyObject* raw_item = PyIter_Next(iterator.get())) {
    const PyRef item(raw_item);
    auto value = extract_number(item.get());
    if (!value) return std::unexpected(std::move(value.error()));
    samples.push_back(*value);
  }
  if (PyErr_Occurred() != nullptr) return std::unexpected(PyErr::fetch());
  return samples;
}

PyErr argument_extraction_error(std::string_view parameter_name, PyErr error) {
  if (!error.is_exact_type_error()) return error;
  const std::string prefix = "argument '" + std::string(parameter_name) + "': ";
  if (const std::string* message = error.deferred_type_error_message()) {
    return PyErr::type_error(prefix + *message);
  }

  // A TypeError from the host: re-word it as a new TypeError carrying the old
  // one's cause (not the old exception itself).
  PyRef original = std::move(error).into_exception();
  if (!original) return PyErr::fetch();
  PyRef text(PyObject_Str(original.get()));
  if (!text) return PyErr::fetch();
  PyRef message(PyUnicode_FromFormat("%s%U", prefix.c_str(), text.get()));
  if (!message) return PyErr::fetch();
  PyObject* replacement = PyObject_CallOneArg(PyExc_TypeError, message.get());
  if (replacement == nullptr) return PyErr::fetch();
  PyException_SetCause(replacement, PyException_GetCause(original.get()));
  return PyErr::from_exception(replacement);
}

std::expected<void, PyErr> extract_arguments_fastcall(const FunctionDescription& function,
                                                      PyObject* const* args, Py_ssize_t nargs,
                                                      PyObject* kwnames, Arguments& converted,
                                                      SamplesConverter convert_samples) {
  const auto parameters = function.parameters;
  const auto count = static_cast<Py_ssize_t>(parameters.size());
  if (nargs > count) {
    return std::unexpected(PyErr::type_error(call_name(function) + " takes " +
                                             std::to_string(count) + " positional arguments but " +
                                             std::to_string(nargs) + " were given"));
  }

  std::array<PyObject*, MAX_PARAMETERS> slots{};
  std::copy(args, args + nargs, slots.begin());

  const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    auto index = match_keyword(function, keyword);
    if (!index) return std::unexpected(std::move(index.error()));
    if (slots[*index] != nullptr) {
      return std::unexpected(PyErr::type_error(call_name(function) +
                                               " got multiple values for argument '" +
                                               parameters[*index].text() + "'"));
    }
    slots[*index] = args[nargs + k];
  }

  std::array<const char*, MAX_PARAMETERS> missing{};
  std::size_t missing_count = 0;
  for (std::size_t i = static_cast<std::size_t>(nargs); i < parameters.size(); ++i) {
    if (slots[i] == nullptr) missing[missing_count++] = parameters[i].text();
  }
  if (missing_count > 0) {
    return std::unexpected(PyErr::type_error(
        call_name(function) + " missing " + std::to_string(missing_count) +
        (missing_count == 1 ? " required positional argument: "
                            : " required positional arguments: ") +
        quoted_list(std::span(missing.data(), missing_count))));
  }

  for (std::size_t i = 0; i < parameters.size(); ++i) {
    Argument& argument = converted[i];
    if (parameters[i].kind == ArgKind::number) {
      auto value = extract_number(slots[i]);
      if (!value) return std::unexpected(argument_extraction_error(parameters[i].text(), std::move(value.error())));
      argument.number = *value;
    } else {
      auto value = convert_samples(slots[i]);
      if (!value) return std::unexpected(argument_extraction_error(parameters[i].text(), std::move(value.error())));
      argument.samples = std::move(*value);
    }
  }
  return {};
}

}  // namespace mirlaxon::binding
