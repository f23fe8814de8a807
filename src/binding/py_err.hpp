// A pending host error, held by value until the binding hands it to the host.
//
// Most errors the module raises are deferred: a type and a message text, with
// no host object made until the error is raised. Errors taken from the host
// (a failed float conversion, say) keep the host's own objects and are
// restored unchanged.
#pragma once

#include "binding/py_ref.hpp"
#include "models/model_error.hpp"

#include <exception>
#include <new>
#include <source_location>
#include <string>
#include <string_view>

namespace mirlaxon::binding {

// The type of internal failures, "pyo3_runtime.PanicException", created the
// first time it is needed. A failure to create it cannot be reported and
// aborts the process.
PyObject* panic_exception_type();

class PyErr {
 public:
  static PyErr type_error(std::string message) { return PyErr(&type_error_type, std::move(message)); }
  static PyErr runtime_error(std::string_view message) {
    return PyErr(&runtime_error_type, std::string(message));
  }
  static PyErr value_error(std::string_view message) {
    return PyErr(&value_error_type, std::string(message));
  }
  // An internal failure; the argument of the raised exception is a one-element
  // tuple holding the message. Its diagnostic is written at once.
  static PyErr panic(std::string message, std::source_location where = std::source_location::current());
  // A model's failure: RuntimeError with a kernel's text, ValueError for a
  // value the model cannot take (its number written as the host's repr), an
  // internal failure for a broken assertion.
  static PyErr from_model(const models::ModelError& error);
  // An already created exception instance (a new reference).
  static PyErr from_exception(PyObject* exception);

  // Takes the host's pending error. With none pending this is SystemError
  // "attempted to fetch exception but none was set". A PanicException coming
  // back from the host (through a user's conversion hook that called other
  // native code) is reported and turned into a new panic with its text.
  static PyErr fetch();

  PyErr(PyErr&&) noexcept = default;
  PyErr& operator=(PyErr&&) noexcept = default;

  // True when the error's type is exactly TypeError (a subclass does not count).
  bool is_exact_type_error() const;

  // A deferred TypeError's message, or null for any other error.
  const std::string* deferred_type_error_message() const;

  // Takes the error as a normalised exception instance (new reference; null
  // if even that failed, with the host's error set).
  PyRef into_exception() &&;

  // Sets the host's error indicator from this error.
  void restore() &&;

 private:
  using TypeGetter = PyObject* (*)();
  static PyObject* type_error_type() { return PyExc_TypeError; }
  static PyObject* runtime_error_type() { return PyExc_RuntimeError; }
  static PyObject* value_error_type() { return PyExc_ValueError; }
  static PyObject* system_error_type() { return PyExc_SystemError; }

  PyErr(TypeGetter type, std::string message) : lazy_type_(type), message_(std::move(message)) {}
  PyErr(PyRef type, PyRef value, PyRef traceback)
      : type_(std::move(type)), value_(std::move(value)), traceback_(std::move(traceback)) {}

  // Deferred form: lazy_type_ is set and message_ holds the text.
  TypeGetter lazy_type_ = nullptr;
  std::string message_;
  // Fetched form: the host's own triple.
  PyRef type_;
  PyRef value_;
  PyRef traceback_;
};

// Raises a panic from inside the panic trap. A second internal failure while
// doing so cannot be reported and aborts the process.
void raise_panic(std::string_view message) noexcept;

// Runs the host's handlers of the signals that arrived since the last look,
// with the interpreter lock held: -1 with the handler's exception set
// (KeyboardInterrupt for Ctrl-C), else 0. Module initialisation prepares it.
bool prepare_signal_check();
int check_signals();

// Runs a handler body so that no internal failure escapes into the host:
// running out of memory becomes MemoryError, anything else PanicException.
template <class Body>
PyObject* trap_panics(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& failure) {
    raise_panic(failure.what());
  } catch (...) {
    raise_panic("unknown internal failure");
  }
  return nullptr;
}

}  // namespace mirlaxon::binding
