// The extension module "mirlaxon": its definition, its table of functions and
// its single export, PyInit_mirlaxon.
#include "binding/arguments.hpp"
#include "binding/arrays.hpp"
#include "binding/handler.hpp"
#include "binding/py_err.hpp"
#include "binding/py_ref.hpp"
#include "models/magnifications.hpp"

#include <array>
#include <string>

namespace mirlaxon::binding {

PyObject* to_host(double value) {
  PyObject* result = PyFloat_FromDouble(value);
  if (result == nullptr) {
    PyErr_Print();
    PyErr::panic("Python API call failed").restore();
  }
  return result;
}

PyObject* to_host(const std::vector<double>& values) {
  const auto failed = [] {
    PyErr_Print();
    PyErr::panic("Python API call failed").restore();
    return nullptr;
  };
#ifdef PYPY_VERSION
  // PyPy turns a list that native code created at full length and filled in
  // place into one of its own lists at the end of the call, which costs more
  // than twice as much per item (220 ns against 94) as a list grown by
  // appending, which it builds directly.
  PyRef list(PyList_New(0));
  if (!list) return failed();
  for (const double value : values) {
    const PyRef item(PyFloat_FromDouble(value));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return failed();
  }
#else
  PyRef list(PyList_New(static_cast<Py_ssize_t>(values.size())));
  if (!list) return failed();
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* item = PyFloat_FromDouble(values[i]);
    if (item == nullptr) return failed();
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
#endif
  return list.release();
}

PyObject* to_host(const models::GradientSamples& gradient) {
  PyRef value(to_host(gradient.value));
  PyRef d_u(value ? to_host(gradient.d_u) : nullptr);
  PyRef d_rho(d_u ? to_host(gradient.d_rho) : nullptr);
  if (!d_rho) return nullptr;
  PyObject* result = PyTuple_Pack(3, value.get(), d_u.get(), d_rho.get());
  if (result == nullptr) {
    PyErr_Print();
    PyErr::panic("Python API call failed").restore();
  }
  return result;
}

PyObject* to_host(const models::ComponentSamples& components) {
  PyRef list(PyList_New(static_cast<Py_ssize_t>(components.size())));
  if (!list) {
    PyErr_Print();
    PyErr::panic("Python API call failed").restore();
    return nullptr;
  }
  for (std::size_t k = 0; k < components.size(); ++k) {
    PyObject* row = to_host(components[k]);
    if (row == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), row);
  }
  return list.release();
}

namespace {

constexpr int FASTCALL_WITH_KEYWORDS = METH_FASTCALL | METH_KEYWORDS;

// The doc string is the text signature only.
template <const FunctionDescription& Description, auto Model>
constexpr PyMethodDef method() {
  return PyMethodDef{Description.name.data(),
                     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                         &handler<Description, Model>)),
                     FASTCALL_WITH_KEYWORDS, TextSignature<Description>::text.data()};
}

// The descriptions and method rows, from src/binding/functions.json.
#include "binding/function_table.inc"

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "mirlaxon",
    "Gravitational-microlensing magnifications of an extended source star by a single point "
    "lens.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* module_cache = nullptr;
PyObject* name_attribute = nullptr;  // interned "__name__"
PyObject* all_attribute = nullptr;   // interned "__all__"
PyObject* version_attribute = nullptr;  // interned "__version__"

bool intern_attribute_names() {
  if (name_attribute == nullptr) {
    name_attribute = PyUnicode_InternFromString("__name__");
    if (name_attribute == nullptr) return false;
  }
  if (all_attribute == nullptr) {
    all_attribute = PyUnicode_InternFromString("__all__");
    if (all_attribute == nullptr) return false;
  }
  if (version_attribute == nullptr) {
    version_attribute = PyUnicode_InternFromString("__version__");
    if (version_attribute == nullptr) return false;
  }
  return intern_parameter_names();
}

// The module's __all__, created empty the first time it is asked for.
std::expected<PyRef, PyErr> module_all(PyObject* module) {
  PyRef all(PyObject_GetAttr(module, all_attribute));
  if (!all) {
    if (PyErr_ExceptionMatches(PyExc_AttributeError) == 0) return std::unexpected(PyErr::fetch());
    PyErr_Clear();
    all = PyRef(PyList_New(0));
    if (!all || PyObject_SetAttr(module, all_attribute, all.get()) < 0) {
      return std::unexpected(PyErr::fetch());
    }
  } else if (PyList_Check(all.get()) == 0) {
    return std::unexpected(PyErr::type_error("__all__ of the module is not a list"));
  }
  return all;
}

std::expected<void, PyErr> add_function(PyObject* module, PyMethodDef& record) {
  PyObject* dict = PyModule_GetDict(module);  // borrowed
  if (dict == nullptr) return std::unexpected(PyErr::fetch());
  PyRef module_name(PyObject_GetItem(dict, name_attribute));
  if (!module_name) return std::unexpected(PyErr::fetch());
  PyRef function(PyCMethod_New(&record, module, module_name.get(), nullptr));
  if (!function) return std::unexpected(PyErr::fetch());
  PyRef function_name(PyObject_GetAttr(function.get(), name_attribute));
  if (!function_name) return std::unexpected(PyErr::fetch());
  if (PyUnicode_Check(function_name.get()) == 0) {
    return std::unexpected(PyErr::type_error("__name__ of a function is not a str"));
  }
  auto all = module_all(module);
  if (!all) return std::unexpected(std::move(all.error()));
  if (PyList_Append(all->get(), function_name.get()) < 0) {
    PyRef reason = PyErr::fetch().into_exception();
    PyRef text(reason ? PyObject_Str(reason.get()) : nullptr);
    const char* shown = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    PyErr_Clear();
    return std::unexpected(PyErr::panic(std::string("could not append __name__ to __all__: ") +
                                        (shown != nullptr ? shown : "unknown error")));
  }
  if (PyObject_SetAttr(module, function_name.get(), function.get()) < 0) {
    return std::unexpected(PyErr::fetch());
  }
  return {};
}

PyObject* initialise() {
  if (module_cache != nullptr) {
    Py_INCREF(module_cache);
    return module_cache;
  }
  if (!intern_attribute_names() || !prepare_signal_check()) {
    PyErr::fetch().restore();
    return nullptr;
  }
  PyRef module(PyModule_Create2(&module_definition, 1013));
  if (!module) {
    PyErr::fetch().restore();
    return nullptr;
  }
  // The release, from the one version number of the build.
  PyRef version(PyUnicode_InternFromString(MIRLAXON_VERSION));
  if (!version || PyObject_SetAttr(module.get(), version_attribute, version.get()) < 0) {
    PyErr::fetch().restore();
    return nullptr;
  }
  for (PyMethodDef& record : function_table) {
    if (auto added = add_function(module.get(), record); !added) {
      std::move(added.error()).restore();
      return nullptr;
    }
  }
#ifndef PYPY_VERSION
  if (auto added = add_array_functions(module.get(), array_function_table); !added) {
    std::move(added.error()).restore();
    return nullptr;
  }
#endif
  if (module_cache == nullptr) module_cache = module.release();  // kept for the process
  Py_INCREF(module_cache);
  return module_cache;
}

}  // namespace
}  // namespace mirlaxon::binding

PyMODINIT_FUNC PyInit_mirlaxon() {
  return mirlaxon::binding::trap_panics([] { return mirlaxon::binding::initialise(); });
}
