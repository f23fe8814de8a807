"""The module object: its names, signatures, re-import and the init function."""

import ast
import ctypes
import inspect
import os
import pathlib
import platform
import sys
import unittest

import mirlaxon

ON_PYPY = platform.python_implementation() == "PyPy"

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402

# Written out once here, against the module's own list: the public names.
PUBLIC = [
    "witt_mao_magnification", "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification", "heyrovsky_magnification",
    "integrated_heyrovsky_magnification", "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification", "integrated_limb_law_heyrovsky_magnification",
    "witt_mao_gradient", "integrated_limb_law_heyrovsky_gradient", "integrated_limb_law_heyrovsky_components",
]
# What a function of separations returns: a value per separation, a
# gradient (A, dA/du, dA/drho), or a row per power.
ROW_RESULTS = {"list[float]", "tuple[list[float], list[float], list[float]]", "list[list[float]]"}


class ModuleTest(unittest.TestCase):
    def test_all_lists_the_functions_in_table_order(self):
        self.assertEqual(mirlaxon.__all__, PUBLIC)
        self.assertIs(type(mirlaxon.__all__), list)

    def test_version_is_the_builds_own(self):
        inputs = os.path.join(os.path.dirname(__file__), "..", "..", "src", "build_inputs.txt")
        with open(inputs, encoding="utf-8") as lines:
            (version,) = [line.split(":", 1)[1].strip() for line in lines if line.startswith("version:")]
        self.assertEqual(mirlaxon.__version__, version)
        self.assertNotIn("__version__", mirlaxon.__all__)

    def test_every_function_has_its_text_signature_and_no_other_doc(self):
        for name in function_surface.NAMES:
            with self.subTest(name):
                function = getattr(mirlaxon, name)
                self.assertEqual(function.__doc__, None)
                self.assertEqual(function.__text_signature__,
                                 "(" + ", ".join(function_surface.parameters(name)) + ")")
                self.assertEqual(function.__name__, name)
                self.assertEqual(function.__module__, "mirlaxon")
                for parameter in inspect.signature(function).parameters.values():
                    self.assertIs(parameter.kind, inspect.Parameter.POSITIONAL_OR_KEYWORD)
                    self.assertIs(parameter.default, inspect.Parameter.empty)

    def test_stubs_match_the_text_signatures(self):
        tree = ast.parse(function_surface.STUB.read_text())
        stubbed = {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}
        self.assertEqual(list(stubbed), mirlaxon.__all__)
        for name in mirlaxon.__all__:
            with self.subTest(name):
                arguments = stubbed[name].args
                self.assertEqual(arguments.posonlyargs + arguments.kwonlyargs, [])
                self.assertEqual(arguments.defaults, [])
                self.assertEqual([a.arg for a in arguments.args], function_surface.parameters(name))
                kinds = {ast.unparse(a.annotation) for a in arguments.args}
                self.assertLessEqual(kinds, {"Samples", "Number"})
                # A function of sequences returns rows of one value per separation.
                result = ast.unparse(stubbed[name].returns)
                self.assertIn(result, ROW_RESULTS if "Samples" in kinds else {"float"})

    def test_module_doc_is_one_sentence(self):
        self.assertTrue(mirlaxon.__doc__.endswith("."))
        self.assertEqual(mirlaxon.__doc__.count(". "), 0)
        self.assertEqual(mirlaxon.__name__, "mirlaxon")

    def test_the_exception_type_is_not_exported(self):
        self.assertFalse(hasattr(mirlaxon, "PanicException"))

    def test_reimport_after_removal_from_the_registry(self):
        original = mirlaxon
        del sys.modules["mirlaxon"]
        try:
            import mirlaxon as again
        finally:
            sys.modules["mirlaxon"] = original
        # PyPy copies a loaded extension's namespace into a fresh module
        # instead of calling the init function again; the functions are the
        # same objects either way.
        if not ON_PYPY:
            self.assertIs(again, original)
        for name in function_surface.NAMES:
            self.assertIs(getattr(again, name), getattr(original, name))

    @unittest.skipIf(ON_PYPY, "ctypes cannot return cpyext objects on PyPy")
    def test_second_init_returns_the_cached_module(self):
        library = ctypes.PyDLL(mirlaxon.__file__)
        init = library.PyInit_mirlaxon
        init.restype = ctypes.py_object
        init.argtypes = []
        self.assertIs(init(), mirlaxon)
        self.assertIs(init(), mirlaxon)


if __name__ == "__main__":
    unittest.main()
