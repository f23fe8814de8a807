"""Hostile input at every parameter of every function: each wrong kind of
object gives its documented exception (or is accepted, where the rules
accept it), no call returns a partial result, and the interpreter goes on
working. The host's own message texts differ between PyPy and CPython, so
only the module's part of a message is compared exactly."""

import os
import platform
import random
import sys
import unittest

import mirlaxon

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402

ON_PYPY = platform.python_implementation() == "PyPy"


def good_arguments(function):
    """Valid arguments of `function` by keyword: a lens at two source radii."""
    return dict(zip(function_surface.parameters(function), function_surface.arguments(function, [2.0])))


class Boom(Exception):
    pass


class FloatRaises:
    def __float__(self):
        raise Boom("from __float__")


class FloatReturnsStr:
    def __float__(self):
        return "1.0"


class IterRaises:
    def __len__(self):
        return 1

    def __getitem__(self, i):
        return 1.0

    def __iter__(self):
        raise Boom("from __iter__")


class IterReturnsNonIterator(IterRaises):
    def __iter__(self):
        return 5


class NextRaises(IterRaises):
    def __iter__(self):
        return self

    def __next__(self):
        raise Boom("from __next__")


class NextReturnsStr(NextRaises):
    def __next__(self):
        return "x"


class Sequence:
    """Passes the sequence check; iterates over `items`; reports `length`."""

    def __init__(self, items, length):
        self.items = items
        self.length = length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        return iter(self.items)


class FloatSubclass(float):
    pass


def generator():
    yield 1.0


NUMBER_TYPE_ERROR = (TypeError, None)  # host text after the module's prefix

# (description, value, for a number parameter, for a sequence parameter).
# An expectation is (exception type, exact text after "argument 'p': " or
# None), or ("accepted", the equivalent plain value).
HOSTILE = [
    ("None", None, NUMBER_TYPE_ERROR, (TypeError, "'NoneType' object cannot be converted to 'Sequence'")),
    ("str", "0.5", NUMBER_TYPE_ERROR, (TypeError, "Can't extract `str` to `Vec`")),
    ("str subclass", type("Text", (str,), {})("0.5"), NUMBER_TYPE_ERROR,
     (TypeError, "Can't extract `str` to `Vec`")),
    ("bytes", b"\x02", NUMBER_TYPE_ERROR, ("accepted", [2.0])),
    ("dict", {0: 1.0}, NUMBER_TYPE_ERROR, (TypeError, "'dict' object cannot be converted to 'Sequence'")),
    ("set", {1.0}, NUMBER_TYPE_ERROR, (TypeError, "'set' object cannot be converted to 'Sequence'")),
    ("generator", generator(), NUMBER_TYPE_ERROR,
     (TypeError, "'generator' object cannot be converted to 'Sequence'")),
    ("__float__ raises", FloatRaises(), (Boom, None),
     (TypeError, "'FloatRaises' object cannot be converted to 'Sequence'")),
    ("__float__ returns str", FloatReturnsStr(), NUMBER_TYPE_ERROR,
     (TypeError, "'FloatReturnsStr' object cannot be converted to 'Sequence'")),
    ("huge int", 10 ** 400, (OverflowError, None),
     (TypeError, "'int' object cannot be converted to 'Sequence'")),
    ("float subclass", FloatSubclass(2.0), ("accepted", 2.0),
     (TypeError, "'FloatSubclass' object cannot be converted to 'Sequence'")),
    ("__iter__ raises", IterRaises(), NUMBER_TYPE_ERROR, (Boom, None)),
    ("__iter__ returns a non-iterator", IterReturnsNonIterator(), NUMBER_TYPE_ERROR, (TypeError, None)),
    ("__next__ raises", NextRaises(), NUMBER_TYPE_ERROR, (Boom, None)),
    ("__next__ returns str", NextReturnsStr(), NUMBER_TYPE_ERROR, (TypeError, None)),
    ("__len__ raises", Sequence([2.0], Boom("from __len__")), NUMBER_TYPE_ERROR, ("accepted", [2.0])),
    ("__len__ of 2**62", Sequence([2.0], 2 ** 62), NUMBER_TYPE_ERROR, ("accepted", [2.0])),
    ("__len__ beyond Py_ssize_t", Sequence([2.0], 2 ** 70), NUMBER_TYPE_ERROR, ("accepted", [2.0])),
    ("__len__ returns str", Sequence([2.0], "1"), NUMBER_TYPE_ERROR, ("accepted", [2.0])),
    ("item of the wrong kind", [2.0, "x"], NUMBER_TYPE_ERROR, (TypeError, None)),
    ("item that is None", [None], NUMBER_TYPE_ERROR, (TypeError, None)),
    ("huge int item", [10 ** 400], NUMBER_TYPE_ERROR, (OverflowError, None)),
    ("item whose __float__ raises", [FloatRaises()], NUMBER_TYPE_ERROR, (Boom, None)),
    ("float subclass items", [FloatSubclass(2.0)], NUMBER_TYPE_ERROR, ("accepted", [2.0])),
]


class HostileInputTest(unittest.TestCase):
    def assert_still_working(self):
        self.assertEqual(mirlaxon.witt_mao_magnification([2.0], 1.0, 1.0), REFERENCE)

    def call(self, function, arguments, by_keyword):
        names = function_surface.parameters(function)
        f = getattr(mirlaxon, function)
        if by_keyword:
            return f(**arguments)
        return f(*[arguments[name] for name in names])

    def test_every_parameter_against_every_wrong_kind(self):
        tried = 0
        for function in function_surface.NAMES:
            for parameter in function_surface.parameters(function):
                sequence = function_surface.is_sequence(function, parameter)
                for description, value, as_number, as_sequence in HOSTILE:
                    expected = as_sequence if sequence else as_number
                    for by_keyword in (False, True):
                        arguments = good_arguments(function)
                        arguments[parameter] = value
                        with self.subTest(function=function, parameter=parameter, value=description,
                                          by_keyword=by_keyword):
                            tried += 1
                            self.check_one(function, arguments, parameter, expected, by_keyword)
                        self.assert_still_working()
        self.assertGreater(tried, 1000)

    def outcome(self, function, arguments, by_keyword):
        try:
            return repr(self.call(function, arguments, by_keyword))
        except BaseException as error:  # PanicException derives from BaseException
            return (type(error).__name__, str(error))

    def check_one(self, function, arguments, parameter, expected, by_keyword):
        kind, detail = expected
        if kind == "accepted":
            # Exactly what the plain equivalent gives: its result, or its
            # failure (a flux map of two lengths, say).
            plain = dict(arguments, **{parameter: detail})
            self.assertEqual(self.outcome(function, arguments, by_keyword),
                             self.outcome(function, plain, by_keyword))
            return
        with self.assertRaises(kind) as caught:
            self.call(function, arguments, by_keyword)
        self.assertIs(type(caught.exception), kind)
        if kind is TypeError:
            prefix = "argument '%s': " % parameter
            self.assertTrue(str(caught.exception).startswith(prefix), str(caught.exception))
            if detail is not None:
                self.assertEqual(str(caught.exception), prefix + detail)

    def test_sequences_that_change_while_they_are_read(self):
        class Grows:
            def __init__(self, items):
                self.items = items

            def __float__(self):
                if len(self.items) < 6:
                    self.items.append(self)
                return 2.0

        class Empties:
            def __init__(self, items):
                self.items = items

            def __float__(self):
                del self.items[:]
                return 2.0

        growing = [0.0]
        growing[0] = Grows(growing)
        # The iteration sees what is appended during it, as Python's own does.
        self.assertEqual(len(mirlaxon.witt_mao_magnification(growing, 1.0, 1.0)), 6)
        emptying = [1.0, 2.0, 3.0]
        emptying[0] = Empties(emptying)
        self.assertEqual(len(mirlaxon.witt_mao_magnification(emptying, 1.0, 1.0)), 1)
        self.assert_still_working()

    def test_random_keyword_names(self):
        rng = random.Random(20261208)
        alphabet = "abcdefghijklmnopqrstuvwxyz_0123456789éß∞\u200b"
        if ON_PYPY and os.environ.get("MIRLAXON_SANITIZED"):
            # PyPy 7.3.11 never frees the UTF-8 copy it makes of a str beyond
            # Latin-1 (in PyUnicode_AsUTF8AndSize and FromStringAndSize), which
            # LeakSanitizer reports: the leak check runs with Latin-1 names.
            alphabet = alphabet.replace("∞", "").replace("\u200b", "")
        names = {"".join(rng.choice(alphabet) for _ in range(rng.randint(1, 8))) for _ in range(300)}
        names |= {"\ud800", "l\udcff", "", " re", "re ", "RE", "rstar\x00"}
        for function in function_surface.NAMES:
            for name in names - set(function_surface.parameters(function)):
                arguments = good_arguments(function)
                arguments[name] = 1.0
                with self.subTest(function=function, keyword=ascii(name)):
                    with self.assertRaises(TypeError) as caught:
                        getattr(mirlaxon, function)(**arguments)
                    self.assertEqual(str(caught.exception),
                                     "%s() got an unexpected keyword argument '%s'" % (function, name))
        self.assert_still_working()

    @unittest.skipIf(ON_PYPY and os.environ.get("MIRLAXON_SANITIZED"),
                     "PyPy 7.3.11 never frees the copy it makes of a str-subclass keyword for any "
                     "native function, which LeakSanitizer reports")
    def test_keyword_given_as_a_str_subclass_matches_by_text(self):
        class Name(str):
            def __eq__(self, other):  # never equal: only the text may decide
                return False

            __hash__ = str.__hash__

        self.assertEqual(mirlaxon.witt_mao_magnification([2.0], 1.0, **{Name("rstar"): 1.0}), REFERENCE)


REFERENCE = mirlaxon.witt_mao_magnification([2.0], 1.0, 1.0)

if __name__ == "__main__":
    unittest.main()
