#include "binding/py_err.hpp"

#include <cstdio>
#include <cstdlib>

namespace mirlaxon::binding {
namespace {

constexpr const char* PANIC_EXCEPTION_DOC =
    "The exception raised when the native code of mirlaxon panics.\n\n"
    "Like SystemExit, it derives from BaseException, so that it is not caught by handlers of "
    "Exception and normally ends the interpreter.";

PyObject* panic_type_cache = nullptr;

[[noreturn]] void abort_uncaught_panic() {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::abort();
}

// The one place that writes a diagnostic: every internal failure, the
// binding's own and a model's broken assertion, where it was detected.
void write_panic_diagnostic(std::string_view message, std::source_location where) {
  std::fprintf(stderr, "mirlaxon: internal failure at %s:%u:%u:\n%.*s\n", where.file_name(),
               static_cast<unsigned>(where.line()), static_cast<unsigned>(where.column()),
               static_cast<int>(message.size()), message.data());
}

// The host's repr of a double ("nan", "-0.5", "1e+16"), or, should that
// fail, the shortest digits that read back to it.
std::string host_repr(double value) {
  PyRef number(PyFloat_FromDouble(value));
  PyRef text(number ? PyObject_Repr(number.get()) : nullptr);
  const char* data = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  if (data != nullptr) return data;
  PyErr_Clear();
  return std::to_string(value);
}

// Sets `text` to the UTF-8 text of str(object); false, with the host's error
// set, if that text can't be made.
bool str_of(PyObject* object, std::string& text) {
  PyRef str(PyObject_Str(object));
  if (!str) return false;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str.get(), &size);
  if (data == nullptr) return false;
  text.assign(data, static_cast<std::size_t>(size));
  return true;
}

}  // namespace

PyObject* panic_exception_type() {
  if (panic_type_cache != nullptr) return panic_type_cache;
  PyObject* created = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", PANIC_EXCEPTION_DOC,
                                                PyExc_BaseException, nullptr);
  if (created == nullptr) {
    PyErr_Print();
    abort_uncaught_panic();
  }
  // Creating a class may run host code that lets another thread in and
  // create one too: the first stored wins.
  if (panic_type_cache == nullptr) {
    panic_type_cache = created;
  } else {
    Py_DECREF(created);
  }
  return panic_type_cache;
}

PyErr PyErr::panic(std::string message, std::source_location where) {
  write_panic_diagnostic(message, where);
  return PyErr(&panic_exception_type, std::move(message));
}

PyErr PyErr::from_model(const models::ModelError& error) {
  switch (error.kind()) {
    case models::ModelError::Kind::kernel: return runtime_error(error.message());
    case models::ModelError::Kind::value:
      return value_error(error.has_value() ? error.message(host_repr(error.value())) : error.message());
    case models::ModelError::Kind::assertion: break;
  }
  return panic(error.message(), error.where());
}

PyErr PyErr::from_exception(PyObject* exception) {
  PyRef value(exception);
  PyRef type = PyRef::borrowed(reinterpret_cast<PyObject*>(Py_TYPE(exception)));
  return PyErr(std::move(type), std::move(value), PyRef());
}

PyErr PyErr::fetch() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) {
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return PyErr(&PyErr::system_error_type, "attempted to fetch exception but none was set");
  }
  if (panic_type_cache == nullptr || type != panic_type_cache) {
    return PyErr(PyRef(type), PyRef(value), PyRef(traceback));
  }

  // Our own PanicException came back through host code: report it where it
  // surfaced and carry its text on as a new panic.
  PyErr_NormalizeException(&type, &value, &traceback);
  std::string message;
  if (value == nullptr || !str_of(value, message)) {
    PyErr_Clear();
    message = "Unwrapped panic from Python code";
  }
  std::fputs("--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n",
             stderr);
  std::fputs("Python stack trace below:\n", stderr);
  PyErr_Restore(type, value, traceback);
  PyErr_PrintEx(0);
  return PyErr::panic(std::move(message));
}

bool PyErr::is_exact_type_error() const {
  if (lazy_type_ != nullptr) return lazy_type_ == &PyErr::type_error_type;
  return type_.get() == PyExc_TypeError;
}

const std::string* PyErr::deferred_type_error_message() const {
  return lazy_type_ == &PyErr::type_error_type ? &message_ : nullptr;
}

void PyErr::restore() && {
  if (lazy_type_ == nullptr) {
    PyErr_Restore(type_.release(), value_.release(), traceback_.release());
    return;
  }
  PyObject* type = lazy_type_();
  if (PyExceptionClass_Check(type) == 0) {
    PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
    return;
  }
  PyRef text(PyUnicode_FromStringAndSize(message_.data(), static_cast<Py_ssize_t>(message_.size())));
  if (!text) return;
  if (lazy_type_ == &panic_exception_type) {
    PyRef arguments(PyTuple_Pack(1, text.get()));
    if (!arguments) return;
    PyErr_SetObject(type, arguments.get());
    return;
  }
  PyErr_SetObject(type, text.get());
}

PyRef PyErr::into_exception() && {
  std::move(*this).restore();
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return PyRef(value);
}

void raise_panic(std::string_view message) noexcept {
  try {
    PyErr::panic(std::string(message)).restore();
  } catch (...) {
    abort_uncaught_panic();
  }
}

#ifdef PYPY_VERSION
namespace {
// PyPy's PyErr_CheckSignals does nothing: its signal handlers run between
// bytecodes of Python code, so the check calls a Python function with an
// empty body.
PyObject* signal_check_function = nullptr;
}  // namespace

bool prepare_signal_check() {
  if (signal_check_function != nullptr) return true;
  PyRef globals(PyDict_New());
  if (!globals || PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()) < 0) {
    return false;
  }
  signal_check_function = PyRun_String("lambda: None", Py_eval_input, globals.get(), globals.get());
  return signal_check_function != nullptr;  // kept for the process
}

int check_signals() {
  PyRef result(PyObject_CallNoArgs(signal_check_function));
  return result ? 0 : -1;
}
#else
bool prepare_signal_check() { return true; }

int check_signals() { return PyErr_CheckSignals(); }
#endif

}  // namespace mirlaxon::binding
