// The cheapest native call a host can make with mirlaxon's calling
// convention: fast call with keywords, arguments ignored, None returned.
// The host benchmark measures per-call overhead against it.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace {

PyObject* noop(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { Py_RETURN_NONE; }

PyMethodDef methods[] = {
    {"noop", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&noop)),
     METH_FASTCALL | METH_KEYWORDS, "noop(*args, **kwargs)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef definition = {PyModuleDef_HEAD_INIT, "mirlaxon_noop", "A native call that does nothing.",
                          0, methods, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_mirlaxon_noop() { return PyModule_Create(&definition); }
