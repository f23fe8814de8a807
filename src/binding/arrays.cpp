#include "binding/arrays.hpp"

// numpy's C API, when its headers were there at build time: a result array
// made directly (no call to numpy.empty through the host, no buffer export
// to fill it). The module still loads without numpy; the API is looked up
// only when a numpy array comes in, so numpy is already imported.
#if defined(MIRLAXON_NUMPY_HEADERS) && !defined(PYPY_VERSION)
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#define MIRLAXON_NUMPY_API 1
#endif

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

bool is_numpy_array(PyObject* object) {
  return object != nullptr && std::strcmp(Py_TYPE(object)->tp_name, "numpy.ndarray") == 0;
}

bool is_native_double(const char* format) {
  if (format == nullptr) return false;
  if (format[0] == '@' || format[0] == '=' || (format[0] == '<' && std::endian::native == std::endian::little)) {
    ++format;
  }
  return std::strcmp(format, "d") == 0;
}

#ifdef MIRLAXON_NUMPY_API
// numpy's table of C functions: looked up once; a numpy that refuses (an
// older one than the headers) leaves the host route.
enum class NumpyApi { unknown, ready, absent };
NumpyApi numpy_api = NumpyApi::unknown;

bool numpy_api_ready() {
  if (numpy_api == NumpyApi::unknown) {
    numpy_api = _import_array() == 0 ? NumpyApi::ready : NumpyApi::absent;
    if (numpy_api == NumpyApi::absent) PyErr_Clear();
  }
  return numpy_api == NumpyApi::ready;
}
#endif

// A new float64 array of `count` values, not cleared (every one is then
// written): numpy's, or array('d') (one repeat of a one-item array, with no
// host object per value).
PyObject* new_array(std::size_t count, bool numpy) {
  if (numpy) {
#ifdef MIRLAXON_NUMPY_API
    if (numpy_api_ready()) {
      npy_intp shape[1] = {static_cast<npy_intp>(count)};
      return PyArray_SimpleNew(1, shape, NPY_DOUBLE);
    }
#endif
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

// The memory of a new float64 array that only this call holds (nothing can
// resize it meanwhile) into *data: numpy's data pointer, or its buffer's.
// False, with the host's error set, when the buffer is refused.
bool new_array_data(PyObject* array, double** data) {
#ifdef MIRLAXON_NUMPY_API
  if (numpy_api == NumpyApi::ready && PyArray_CheckExact(array)) {
    *data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)));
    return true;
  }
#endif
  Py_buffer view;
  if (PyObject_GetBuffer(array, &view, PyBUF_WRITABLE) < 0) return false;
  *data = static_cast<double*>(view.buf);
  PyBuffer_Release(&view);
  return true;
}

bool fill(PyObject* target, const models::Samples& values) {
  if (values.empty()) return true;
  double* data = nullptr;
  if (!new_array_data(target, &data)) return false;
  std::memcpy(data, values.data(), values.size() * sizeof(double));
  return true;
}

}  // namespace

std::expected<std::vector<double>, PyErr> extract_samples_in_place(PyObject* object) {
#ifdef MIRLAXON_NUMPY_API
  // A contiguous, native float64 numpy array: its memory read directly, as
  // its buffer would give it (without the buffer export's cost).
  if (is_numpy_array(object) && numpy_api_ready() &&
      PyArray_CheckExact(object)) {
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    if (PyArray_NDIM(array) == 1 && PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array) &&
        PyArray_IS_C_CONTIGUOUS(array)) {
      const auto* data = static_cast<const double*>(PyArray_DATA(array));
      return std::vector<double>(data, data + PyArray_DIM(array, 0));
    }
  }
#endif
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

std::expected<void, PyErr> OutBuffer::take(PyObject* out, std::size_t count, const std::string& name) {
  if (PyObject_GetBuffer(out, &view_, PyBUF_RECORDS) < 0) {
    PyErr_Clear();
    return std::unexpected(PyErr::type_error("argument '" + name + "': a writable float64 buffer is needed, not '" +
                                             type_name(out) + "'"));
  }
  held_ = true;
  constexpr auto item_size = static_cast<Py_ssize_t>(sizeof(double));
  const bool contiguous = view_.ndim == 1 && view_.shape != nullptr && view_.suboffsets == nullptr &&
                          (view_.strides == nullptr || view_.strides[0] == item_size || view_.shape[0] <= 1);
  if (!contiguous || view_.itemsize != item_size || !is_native_double(view_.format)) {
    return std::unexpected(PyErr::type_error("argument '" + name + "': a one-dimensional, contiguous float64 "
                                             "buffer is needed, not '" + type_name(out) + "'"));
  }
  if (static_cast<std::size_t>(view_.shape[0]) != count) {
    return std::unexpected(PyErr::value_error("argument '" + name + "': " + std::to_string(view_.shape[0]) +
                                              " values, not one per separation (" + std::to_string(count) +
                                              ")"));
  }
  return {};
}

void OutBuffer::write(const models::Samples& values) const {
  if (!values.empty()) std::memcpy(view_.buf, values.data(), values.size() * sizeof(double));
}

std::expected<void, PyErr> OutBuffers::take(PyObject* out, std::size_t rows, std::size_t count, bool one_row) {
  if (one_row) {
    buffers_ = std::make_unique<OutBuffer[]>(1);
    return buffers_[0].take(out, count);
  }
  if (!PyTuple_Check(out) && !PyList_Check(out)) {
    return std::unexpected(PyErr::type_error("argument 'out': a tuple or list of " + std::to_string(rows) +
                                             " float64 buffers is needed, not '" + type_name(out) + "'"));
  }
  const PyRef items(PySequence_Tuple(out));  // a list's items held as they are now
  if (!items) return std::unexpected(PyErr::fetch());
  const auto given = static_cast<std::size_t>(PyTuple_GET_SIZE(items.get()));
  if (given != rows) {
    return std::unexpected(PyErr::value_error("argument 'out': " + std::to_string(given) + " buffers, not " +
                                              std::to_string(rows)));
  }
  buffers_ = std::make_unique<OutBuffer[]>(rows);
  for (std::size_t k = 0; k < rows; ++k) {
    auto taken = buffers_[k].take(PyTuple_GET_ITEM(items.get(), static_cast<Py_ssize_t>(k)), count,
                                  "out[" + std::to_string(k) + "]");
    if (!taken) return taken;
  }
  return {};
}

bool ArrayResult::numpy() const { return is_numpy_array(separations); }

PyObject* ArrayResult::operator()(const models::Samples& values) const {
  if (out != nullptr) {
    buffers[0].write(values);
    Py_INCREF(out);
    return out;
  }
  PyRef result(new_array(values.size(), numpy()));
  if (!result || !fill(result.get(), values)) return nullptr;
  return result.release();
}

PyObject* ArrayResult::operator()(const models::GradientSamples& gradient) const {
  const models::Samples* const rows[] = {&gradient.value, &gradient.d_u, &gradient.d_rho};
  return several_rows(rows, true);
}

PyObject* ArrayResult::operator()(const models::ComponentSamples& rows) const {
  std::vector<const models::Samples*> each(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) each[k] = &rows[k];
  return several_rows(each, false);
}

PyObject* ArrayResult::several_rows(std::span<const models::Samples* const> rows, bool tuple) const {
  if (out != nullptr) {
    for (std::size_t k = 0; k < rows.size(); ++k) buffers[k].write(*rows[k]);
    Py_INCREF(out);
    return out;
  }
  const auto count = static_cast<Py_ssize_t>(rows.size());
  PyRef result(tuple ? PyTuple_New(count) : PyList_New(count));
  if (!result) return nullptr;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    PyObject* row = new_array(rows[k]->size(), numpy());
    if (row == nullptr) return nullptr;
    if (tuple) {
      PyTuple_SET_ITEM(result.get(), static_cast<Py_ssize_t>(k), row);
    } else {
      PyList_SET_ITEM(result.get(), static_cast<Py_ssize_t>(k), row);
    }
    if (!fill(row, *rows[k])) return nullptr;
  }
  return result.release();
}

PyObject* ArrayResult::failure(const models::ModelError& error) const { return raise_failure(error); }

PyObject* raise_failure(const models::ModelError& error) {
  if (error.kind() == models::ModelError::Kind::assertion) {
    PyErr::value_error(error.message()).restore();
  } else {
    PyErr::from_model(error).restore();
  }
  return nullptr;
}

PyObject* new_result_array(std::size_t count, PyObject* separations, double** data) {
  PyRef result(new_array(count, is_numpy_array(separations)));
  if (!result) return nullptr;
  if (!new_array_data(result.get(), data)) return nullptr;
  return result.release();
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
