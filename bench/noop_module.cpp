// The cheapest native calls a host can make with mirlaxon's calling
// convention (fast call with keywords, arguments ignored): one returns None,
// one a new list holding one float, the least any of mirlaxon's list
// functions must do. The host benchmark measures per-call overhead against
// them.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace {

PyObject* noop(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { Py_RETURN_NONE; }

// Built the way each host builds it fastest: PyPy a list grown by appending,
// CPython a list created at its length.
PyObject* noop_list(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) {
  PyObject* item = PyFloat_FromDouble(1.0);
  if (item == nullptr) return nullptr;
#ifdef PYPY_VERSION
  PyObject* list = PyList_New(0);
  if (list != nullptr && PyList_Append(list, item) < 0) Py_CLEAR(list);
  Py_DECREF(item);
#else
  PyObject* list = PyList_New(1);
  if (list == nullptr) {
    Py_DECREF(item);
    return nullptr;
  }
  PyList_SET_ITEM(list, 0, item);
#endif
  return list;
}

PyMethodDef methods[] = {
    {"noop", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&noop)),
     METH_FASTCALL | METH_KEYWORDS, "noop(*args, **kwargs)\n--\n\n"},
    {"noop_list", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&noop_list)),
     METH_FASTCALL | METH_KEYWORDS, "noop_list(*args, **kwargs)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef definition = {PyModuleDef_HEAD_INIT, "mirlaxon_noop", "A native call that does nothing.",
                          0, methods, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_mirlaxon_noop() { return PyModule_Create(&definition); }
