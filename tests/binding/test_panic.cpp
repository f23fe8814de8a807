// The binding's failure paths that no ordinary call reaches: the panic trap,
// the PanicException type, a PanicException coming back from the host, and
// model failures turned into host exceptions. Runs in an embedded CPython.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "binding/arguments.hpp"
#include "binding/handler.hpp"
#include "binding/py_err.hpp"
#include "models/model_error.hpp"

extern "C" PyObject* PyInit_mirlaxon();

namespace {

using namespace mirlaxon::binding;
using mirlaxon::models::ModelError;
using mirlaxon::models::ModelResult;

std::string str_of(PyObject* object) {
  PyRef text(PyObject_Str(object));
  const char* data = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  return data != nullptr ? data : "<unprintable>";
}

// Takes the pending host error, checks its type, and returns str() of it.
std::string take_error(PyObject* expected_type) {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  EXPECT_EQ(type, expected_type) << (type ? str_of(type) : "no error pending");
  std::string text = value ? str_of(value) : "";
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  return text;
}

// Runs Python source in __main__, with the PanicException type bound to P.
void run_python(const char* source) {
  PyObject* main = PyImport_AddModule("__main__");  // borrowed
  PyObject* globals = PyModule_GetDict(main);       // borrowed
  PyDict_SetItemString(globals, "P", panic_exception_type());
  PyRef result(PyRun_String(source, Py_file_input, globals, globals));
  if (!result) PyErr_Print();
  ASSERT_TRUE(result) << source;
}

class Binding : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    PyImport_AppendInittab("mirlaxon", &PyInit_mirlaxon);
    Py_Initialize();
  }
  void TearDown() override { ASSERT_EQ(PyErr_Occurred(), nullptr); }
};

TEST_F(Binding, PanicExceptionTypeIsCreatedOnceWithItsDottedNameAndBase) {
  PyObject* type = panic_exception_type();
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type, panic_exception_type());
  run_python(
      "assert P.__name__ == 'PanicException', P.__name__\n"
      "assert P.__module__ == 'pyo3_runtime', P.__module__\n"
      "assert P.__bases__ == (BaseException,), P.__bases__\n"
      "assert not issubclass(P, Exception)\n"
      "assert 'BaseException' in P.__doc__ and 'SystemExit' in P.__doc__\n");
}

TEST_F(Binding, TrapTurnsInternalFailuresIntoHostExceptions) {
  EXPECT_EQ(trap_panics([]() -> PyObject* { throw std::out_of_range("index 7 out of range"); }),
            nullptr);
  EXPECT_EQ(take_error(panic_exception_type()), "index 7 out of range");

  EXPECT_EQ(trap_panics([]() -> PyObject* { throw std::bad_alloc(); }), nullptr);
  take_error(PyExc_MemoryError);

  EXPECT_EQ(trap_panics([]() -> PyObject* { throw 42; }), nullptr);
  EXPECT_EQ(take_error(panic_exception_type()), "unknown internal failure");
}

TEST_F(Binding, PanicArgumentIsAOneElementTuple) {
  PyErr::panic("the message").restore();
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef args(PyObject_GetAttrString(value, "args"));
  ASSERT_TRUE(args);
  ASSERT_EQ(PyTuple_Size(args.get()), 1);
  EXPECT_EQ(str_of(PyTuple_GetItem(args.get(), 0)), "the message");
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
}

TEST_F(Binding, ModelFailuresBecomeRuntimeErrorOrPanic) {
  const ModelResult<double> kernel = std::unexpected(ModelError::kernel("ellipk: m must be less than 1."));
  EXPECT_EQ(to_host(kernel), nullptr);
  EXPECT_EQ(take_error(PyExc_RuntimeError), "ellipk: m must be less than 1.");

  const ModelResult<std::vector<double>> panic = std::unexpected(ModelError::equality_assertion(3, 2));
  EXPECT_EQ(to_host(panic), nullptr);
  EXPECT_EQ(take_error(panic_exception_type()),
            "assertion `left == right` failed\n  left: 3\n right: 2");

  // A value error's number is written as the host writes it.
  const struct {
    ModelError error;
    const char* text;
  } values[] = {
      {ModelError::bad_item("powers", 1, -1e16, "must be a finite number >= 0"),
       "powers[1] must be a finite number >= 0, not -1e+16"},
      {ModelError::bad_item("powers", 0, -1e-300, "must be a finite number >= 0"),
       "powers[0] must be a finite number >= 0, not -1e-300"},
      {ModelError::bad_item("weights", 2, -123456.5, "must be a finite number"),
       "weights[2] must be a finite number, not -123456.5"},
      {ModelError::bad_item("weights", 0, -3.0, "must be a finite number"), "weights[0] must be a finite number, not -3.0"},
      {ModelError::lengths_differ("powers", "weights", 3, 2), "powers and weights differ in length (3 and 2)"},
  };
  for (const auto& value : values) {
    EXPECT_EQ(to_host(ModelResult<double>(std::unexpected(value.error))), nullptr);
    EXPECT_EQ(take_error(PyExc_ValueError), value.text);
  }

  PyRef list(to_host(ModelResult<std::vector<double>>(std::vector<double>{1.5, -0.0})));
  ASSERT_TRUE(list);
  EXPECT_EQ(PyList_Size(list.get()), 2);
  EXPECT_EQ(PyFloat_AsDouble(PyList_GetItem(list.get(), 0)), 1.5);
}

TEST_F(Binding, FetchWithNothingPendingIsSystemError) {
  PyErr::fetch().restore();
  EXPECT_EQ(take_error(PyExc_SystemError), "attempted to fetch exception but none was set");
}

TEST_F(Binding, PanicFromTheHostIsResumedAsANewPanicWithTheSameText) {
  PyRef arguments(Py_BuildValue("(s)", "raised elsewhere"));
  PyErr_SetObject(panic_exception_type(), arguments.get());
  testing::internal::CaptureStderr();
  PyErr resumed = PyErr::fetch();
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find("--- PyO3 is resuming a panic after fetching a PanicException from "
                             "Python. ---\nPython stack trace below:\n"),
            std::string::npos)
      << diagnostics;
  EXPECT_EQ(PyErr_Occurred(), nullptr);
  std::move(resumed).restore();
  EXPECT_EQ(take_error(panic_exception_type()), "raised elsewhere");
}

// A user's __float__ that raises our PanicException (as native code it called
// might) does not pass through as an ordinary error: the call fails with a
// new PanicException carrying the same text, for numbers and sequence items.
TEST_F(Binding, PanicRaisedByAConversionHookEndsTheCall) {
  testing::internal::CaptureStderr();
  run_python(
      "import mirlaxon\n"
      "class Hook:\n"
      "    def __init__(self): self.error = P('from the hook')\n"
      "    def __float__(self): raise self.error\n"
      "hook = Hook()\n"
      "for args in (([0.5], hook, 1.0), ([hook], 1.0, 1.0)):\n"
      "    try:\n"
      "        mirlaxon.witt_mao_magnification(*args)\n"
      "    except BaseException as e:\n"
      "        assert type(e) is P, type(e)\n"
      "        assert str(e) == 'from the hook', str(e)\n"
      "        assert e is not hook.error\n"
      "    else:\n"
      "        raise AssertionError('no exception')\n");
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find("--- PyO3 is resuming a panic"), std::string::npos);
}

TEST_F(Binding, TypeErrorsAreReworded) {
  PyErr reworded = argument_extraction_error("bl", PyErr::type_error("inner text"));
  std::move(reworded).restore();
  EXPECT_EQ(take_error(PyExc_TypeError), "argument 'bl': inner text");

  PyErr_SetString(PyExc_ValueError, "kept");
  std::move(argument_extraction_error("bl", PyErr::fetch())).restore();
  EXPECT_EQ(take_error(PyExc_ValueError), "kept");
}

}  // namespace
