"""Runs suites of tests/binding against the array front: `import mirlaxon`
in them gets the front's functions, each result turned into the module's
list (the values, bit for bit, and every exception are the front's own).

    MIRLAXON_FRONT_RAW=1 python tests/arrays/contract.py test_hostile ...

With MIRLAXON_FRONT_RAW set the functions are the front's own, results
unchanged (for suites that compare results only with each other).
"""
import functools
import os
import platform
import sys
import types
import unittest
from array import array

import mirlaxon_arrays


def listed(function):
    @functools.wraps(function)
    def call(*args, **kwargs):
        result = function(*args, **kwargs)
        if isinstance(result, array) or hasattr(result, "tolist"):
            return result.tolist()
        return result
    return call


def front():
    if os.environ.get("MIRLAXON_FRONT_RAW"):
        return mirlaxon_arrays
    module = types.ModuleType("mirlaxon")
    module.__all__ = list(mirlaxon_arrays.__all__)
    module.__version__ = mirlaxon_arrays.__version__
    for name in mirlaxon_arrays.__all__:
        setattr(module, name, listed(getattr(mirlaxon_arrays, name)))
    return module


sys.modules["mirlaxon"] = front()
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "binding"))

# What is the module's own and not the front's contract.
NOT_THE_FRONTS = [
    ("panic", "the module's panic type belongs to its designed binding (the front raises ValueError)"),
]
if platform.python_implementation() == "PyPy":
    NOT_THE_FRONTS.append(("test_order_of_the_checks",
                           "with too many positional arguments and an unexpected keyword, PyPy's own "
                           "binding of the front's Python functions reports the keyword first"))


def skipped(reason):
    @unittest.skip(reason)
    def test():
        pass
    return test


def tests(suite):
    for test in suite:
        if isinstance(test, unittest.TestSuite):
            yield from tests(test)
        else:
            yield test


if __name__ == "__main__":
    suite = unittest.defaultTestLoader.loadTestsFromNames(sys.argv[1:])
    for test in tests(suite):
        for part, reason in NOT_THE_FRONTS:
            if part in test._testMethodName:
                setattr(test, test._testMethodName, skipped(reason))
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
