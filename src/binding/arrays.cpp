#include "binding/arrays.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace mirlaxon::binding {
namespace {

PyObject* out_name = nullptr;          // interned "out"
PyObject* separations_name = nullptr;  // interned "l"
PyObject* numpy_empty = nullptr;       // numpy.empty, once numpy arrays have come in
PyObject* array_of_one_zero = nullptr;  // array('d', [0.0]), repeated to make a result

bool is_keyword(PyObject* keyword, PyObject* interned_name, const char* text) {
  if (keyword == interned_name) return true;
  if (PyUnicode_Check(keyword) == 0) return false;
  const char* data = PyUnicode_AsUTF8(keyword);
  if (data == nullptr) {
    PyErr_Clear();
    return false;
  }
  return std::strcmp(data, text) == 0;
}

// The type's __qualname__, as the module names types in its messages.
std::string type_name(PyObject* object) {
  PyRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  const char* text = name && PyUnicode_Check(name.get()) != 0 ? PyUnicode_AsUTF8(name.get()) : nullptr;
  if (text != nullptr) return text;
  PyErr_Clear();
  return Py_TYPE(object)->tp_name;
}

bool is_native_double(const char* format) {
  if (format == nullptr) return false;
  if (format[0] == '@' || format[0] == '=' || (format[0] == '<' && std::endian::native == std::endian::little)) {
    ++format;
  }
  return std::strcmp(format, "d") == 0;
}

// A new float64 array of `count` zeros: numpy's, or array('d') (one repeat
// of a one-item array, with no host object per value).
PyObject* new_array(std::size_t count, bool numpy) {
  if (numpy) {
    PyRef size(PyLong_FromSize_t(count));
    if (!size) return nullptr;
    if (numpy_empty == nullptr) {
      PyRef module(PyImport_ImportModule("numpy"));
      if (!module) return nullptr;
      numpy_empty = PyObject_GetAttrString(module.get(), "empty");  // kept for the process
      if (numpy_empty == nullptr) return nullptr;
    }
    return PyObject_CallOneArg(numpy_empty, size.get());
  }
  if (array_of_one_zero == nullptr) {
    PyRef module(PyImport_ImportModule("array"));
    PyRef type(module ? PyObject_GetAttrString(module.get(), "array") : nullptr);
    if (!type) return nullptr;
    array_of_one_zero = PyObject_CallFunction(type.get(), "s[d]", "d", 0.0);  // kept for the process
    if (array_of_one_zero == nullptr) return nullptr;
  }
  return Py_TYPE(array_of_one_zero)->tp_as_sequence->sq_repeat(array_of_one_zero, static_cast<Py_ssize_t>(count));
}

bool fill(PyObject* target, const models::Samples& values) {
  if (values.empty()) return true;
  Py_buffer view;
  if (PyObject_GetBuffer(target, &view, PyBUF_WRITABLE) < 0) return false;
  std::memcpy(view.buf, values.data(), values.size() * sizeof(double));
  PyBuffer_Release(&view);
  return true;
}

}  // namespace

std::expected<std::vector<double>, PyErr> extract_samples_in_place(PyObject* object) {
  if (!PyList_CheckExact(object) && !PyTuple_CheckExact(object)) return extract_samples(object);
  std::vector<double> samples;
  samples.reserve(std::min(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(object)), MAX_RESERVATION));
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(object); ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(object, i);
    if (Py_TYPE(item) == &PyFloat_Type) {
      samples.push_back(reinterpret_cast<PyFloatObject*>(item)->ob_fval);
      continue;
    }
    const PyRef held = PyRef::borrowed(item);  // a hook may drop the list's reference
    auto value = extract_number(item);
    if (!value) return std::unexpected(std::move(value.error()));
    samples.push_back(*value);
  }
  return samples;
}

OutBuffer::~OutBuffer() {
  if (held_) PyBuffer_Release(&view_);
}

std::expected<void, PyErr> OutBuffer::take(PyObject* out, std::size_t count) {
  if (PyObject_GetBuffer(out, &view_, PyBUF_RECORDS) < 0) {
    PyErr_Clear();
    return std::unexpected(PyErr::type_error("argument 'out': a writable float64 buffer is needed, not '" +
                                             type_name(out) + "'"));
  }
  held_ = true;
  constexpr auto item_size = static_cast<Py_ssize_t>(sizeof(double));
  const bool contiguous = view_.ndim == 1 && view_.shape != nullptr && view_.suboffsets == nullptr &&
                          (view_.strides == nullptr || view_.strides[0] == item_size || view_.shape[0] <= 1);
  if (!contiguous || view_.itemsize != item_size || !is_native_double(view_.format)) {
    return std::unexpected(PyErr::type_error("argument 'out': a one-dimensional, contiguous float64 buffer is "
                                             "needed, not '" + type_name(out) + "'"));
  }
  if (static_cast<std::size_t>(view_.shape[0]) != count) {
    return std::unexpected(PyErr::value_error("argument 'out': " + std::to_string(view_.shape[0]) +
                                              " values, not one per separation (" + std::to_string(count) +
                                              ")"));
  }
  return {};
}

void OutBuffer::write(const models::Samples& values) const {
  if (!values.empty()) std::memcpy(view_.buf, values.data(), values.size() * sizeof(double));
}

PyObject* ArrayResult::operator()(const models::Samples& values) const {
  if (out != nullptr) {
    buffer.write(values);
    Py_INCREF(out);
    return out;
  }
  const bool numpy = separations != nullptr && std::strcmp(Py_TYPE(separations)->tp_name, "numpy.ndarray") == 0;
  PyRef result(new_array(values.size(), numpy));
  if (!result || !fill(result.get(), values)) return nullptr;
  return result.release();
}

PyObject* ArrayResult::operator()(const models::ModelResult<models::Samples>& result) const {
  if (result) return (*this)(*result);
  if (result.error().kind() == models::ModelError::Kind::assertion) {
    PyErr::value_error(result.error().message()).restore();
  } else {
    PyErr::from_model(result.error()).restore();
  }
  return nullptr;
}

std::expected<void, PyErr> split_array_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                            ArrayCall& call) {
  call.call_args = args;
  call.call_kwnames = kwnames;
  if (nargs > 0) call.separations = args[0];
  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  Py_ssize_t out_at = -1;
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    if (out_at < 0 && is_keyword(keyword, out_name, "out")) {
      out_at = k;
    } else if (call.separations == nullptr && is_keyword(keyword, separations_name, "l")) {
      call.separations = args[nargs + k];
    }
  }
  if (out_at < 0) return {};
  PyObject* out = args[nargs + out_at];
  call.out = out == Py_None ? nullptr : out;
  call.args.assign(args, args + nargs);
  call.kwnames = PyRef(PyTuple_New(keywords - 1));
  if (!call.kwnames) return std::unexpected(PyErr::fetch());
  for (Py_ssize_t k = 0, at = 0; k < keywords; ++k) {
    if (k == out_at) continue;
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    Py_INCREF(keyword);
    PyTuple_SET_ITEM(call.kwnames.get(), at++, keyword);
    call.args.push_back(args[nargs + k]);
  }
  call.call_args = call.args.data();
  call.call_kwnames = keywords > 1 ? call.kwnames.get() : nullptr;
  return {};
}

std::expected<void, PyErr> add_array_functions(PyObject* module, PyMethodDef* table) {
  if (out_name == nullptr) out_name = PyUnicode_InternFromString("out");
  if (separations_name == nullptr) separations_name = PyUnicode_InternFromString("l");
  if (out_name == nullptr || separations_name == nullptr) return std::unexpected(PyErr::fetch());
  PyRef submodule(PyModule_New("mirlaxon._arrays"));
  if (!submodule) return std::unexpected(PyErr::fetch());
  PyRef name(PyUnicode_FromString("mirlaxon._arrays"));
  if (!name) return std::unexpected(PyErr::fetch());
  for (PyMethodDef* record = table; record->ml_name != nullptr; ++record) {
    PyRef function(PyCMethod_New(record, submodule.get(), name.get(), nullptr));
    if (!function || PyObject_SetAttrString(submodule.get(), record->ml_name, function.get()) < 0) {
      return std::unexpected(PyErr::fetch());
    }
  }
  if (PyObject_SetAttrString(module, "_arrays", submodule.get()) < 0) return std::unexpected(PyErr::fetch());
  return {};
}

}  // namespace mirlaxon::binding
