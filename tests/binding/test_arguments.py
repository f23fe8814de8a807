"""Argument binding and conversion: every message, the order of the checks,
what is accepted as a number or a sequence, and reference ownership."""

import os
import platform
import subprocess
import sys
import textwrap
import unittest

import mirlaxon

ON_PYPY = platform.python_implementation() == "PyPy"
wm = mirlaxon.witt_mao_magnification
F = "witt_mao_magnification()"


class Floaty:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class RaisingFloat:
    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error


class FreshlyRaisingFloat:
    """Raises a new exception each time: re-raising one instance would grow
    its traceback, and with it the references it holds."""

    def __float__(self):
        raise ValueError("fresh")


class FloatSubclass(float):
    pass


class Samples:
    """A sequence by the host's check, iterated through __iter__."""

    def __init__(self, items, length=None, fail_after=None, error=None):
        self.items, self.length = items, length
        self.fail_after, self.error = fail_after, error

    def __len__(self):
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        for i, item in enumerate(self.items):
            if i == self.fail_after:
                raise self.error
            yield item


class BadLength(Samples):
    def __len__(self):
        raise ValueError("no length")


class BindingMessagesTest(unittest.TestCase):
    def check(self, args, kwargs, exception, message):
        with self.assertRaises(exception) as caught:
            wm(*args, **kwargs)
        self.assertIs(type(caught.exception), exception)
        self.assertEqual(str(caught.exception), message)

    def test_messages(self):
        cases = [
            ((), {}, "%s missing 3 required positional arguments: 'l', 're', and 'rstar'" % F),
            (([0.5],), {}, "%s missing 2 required positional arguments: 're' and 'rstar'" % F),
            (([0.5], 1.0), {}, "%s missing 1 required positional argument: 'rstar'" % F),
            (([0.5], 1.0, 0.1, 2.0), {}, "%s takes 3 positional arguments but 4 were given" % F),
            (([0.5], 1.0, 0.1, 2.0, 3.0), {}, "%s takes 3 positional arguments but 5 were given" % F),
            (([0.5], 1.0, 0.1), {"re": 2.0}, "%s got multiple values for argument 're'" % F),
            (([0.5], 1.0), {"rho": 0.1}, "%s got an unexpected keyword argument 'rho'" % F),
            (([0.5],), {"rstar": 0.1, "rstar_": 1}, "%s got an unexpected keyword argument 'rstar_'" % F),
            (("0.5", 1.0, 0.1), {}, "argument 'l': Can't extract `str` to `Vec`"),
            ((0.5, 1.0, 0.1), {}, "argument 'l': 'float' object cannot be converted to 'Sequence'"),
            (({0.5}, 1.0, 0.1), {}, "argument 'l': 'set' object cannot be converted to 'Sequence'"),
            (({"a": 1}, 1.0, 0.1), {}, "argument 'l': 'dict' object cannot be converted to 'Sequence'"),
            ((None, 1.0, 0.1), {}, "argument 'l': 'NoneType' object cannot be converted to 'Sequence'"),
            (([0.5], "1", 0.1), {}, "argument 're': must be real number, not str"),
            (([0.5], 1.0, None), {}, "argument 'rstar': must be real number, not NoneType"),
            (([0.5, object()], 1.0, 0.1), {}, "argument 'l': must be real number, not object"),
        ]
        for args, kwargs, message in cases:
            with self.subTest(message):
                self.check(args, kwargs, TypeError, message)

    def test_host_message_is_kept_after_the_prefix(self):
        # The text after "argument 'x': " is the host's own; only its form is fixed.
        with self.assertRaises(TypeError) as caught:
            wm([0.5], [1.0], 0.1)
        self.assertTrue(str(caught.exception).startswith("argument 're': "))

    def test_order_of_the_checks(self):
        # Too many positional arguments before any keyword problem.
        self.check(([0.5], 1.0, 0.1, 2.0), {"rho": 1}, TypeError,
                   "%s takes 3 positional arguments but 4 were given" % F)
        # Keyword problems before missing arguments, in the keywords' order.
        self.check(([0.5],), {"rho": 1}, TypeError, "%s got an unexpected keyword argument 'rho'" % F)
        self.check(([0.5], 1.0), {"re": 1, "rho": 1}, TypeError,
                   "%s got multiple values for argument 're'" % F)
        # Missing arguments before any conversion.
        self.check(("x", "y"), {}, TypeError, "%s missing 1 required positional argument: 'rstar'" % F)
        # Among conversions the earliest parameter wins, whatever the keyword order.
        self.check(("x", "y", 0.1), {}, TypeError, "argument 'l': Can't extract `str` to `Vec`")
        self.check((), {"rstar": None, "re": "y", "l": [0.5]}, TypeError,
                   "argument 're': must be real number, not str")

    def test_keywords_match_by_text_as_well_as_identity(self):
        expected = wm([0.5], 1.0, 0.1)
        # Names built at run time are equal but not the interned objects.
        names = ["".join(["r", "e"]), "".join(["rst", "ar"]), "".join(["l"])]
        self.assertEqual(wm(**{names[2]: [0.5], names[0]: 1.0, names[1]: 0.1}), expected)
        self.assertEqual(wm(rstar=0.1, re=1.0, l=[0.5]), expected)

    def test_keyword_without_utf8_text_is_shown_by_str(self):
        with self.assertRaises(TypeError) as caught:
            wm([0.5], 1.0, 0.1, **{"\udc80": 1})
        self.assertEqual(str(caught.exception), "%s got an unexpected keyword argument '\udc80'" % F)


class ConversionTest(unittest.TestCase):
    def test_any_sequence_is_accepted(self):
        expected = wm([0.0, 1.0, 2.0], 1.0, 0.1)
        for l in ([0.0, 1.0, 2.0], (0.0, 1.0, 2.0), range(3), [0, 1, 2], [False, True, 2],
                  Samples([0.0, 1.0, 2.0])):
            with self.subTest(type(l).__name__):
                self.assertEqual(wm(l, 1.0, 0.1), expected)

    def test_numbers_of_every_kind(self):
        expected = wm([0.5], 1.0, 0.1)
        for re in (1.0, 1, True, FloatSubclass(1.0), Floaty(1.0)):
            with self.subTest(type(re).__name__):
                self.assertEqual(wm([0.5], re, 0.1), expected)
        self.assertEqual(wm([FloatSubclass(0.5)], 1, Floaty(0.1)), expected)
        # -1.0 is a value, not the host's error marker.
        self.assertEqual(wm([0.5], Floaty(-1.0), -0.1), wm([0.5], -1.0, -0.1))

    def test_empty_sequence(self):
        self.assertEqual(wm([], 1.0, 0.1), [])
        self.assertEqual(wm((), 0.0, 0.0), [])

    def test_result_is_a_new_list_of_floats(self):
        result = wm([0.5, 2.0], 1.0, 1.0)
        self.assertIs(type(result), list)
        self.assertTrue(all(type(v) is float for v in result))
        self.assertAlmostEqual(result[0], 2.13919087496, places=10)
        self.assertAlmostEqual(result[1], 1.07664803566, places=10)
        self.assertIsNot(wm([0.5], 1.0, 1.0), wm([0.5], 1.0, 1.0))

    def test_nan_reaches_the_model(self):
        # NaN is not rejected by conversion: it goes into the formulas, where
        # R_J's duplication cannot converge and the kernel reports it.
        for args in (([float("nan")], 1.0, 0.1), ([0.5], float("nan"), 0.1)):
            with self.assertRaises(RuntimeError) as caught:
                wm(*args)
            self.assertEqual(str(caught.exception), "elliprj: Fail to converge")
        self.assertEqual(wm([], float("nan"), 0.1), [])

    def test_hook_errors_other_than_type_error_pass_through_unchanged(self):
        for error in (ValueError("bad value"), ZeroDivisionError("zero"), KeyError("k")):
            for args in (([0.5], RaisingFloat(error), 0.1), ([0.5, RaisingFloat(error)], 1.0, 0.1)):
                with self.subTest(repr(error)):
                    with self.assertRaises(type(error)) as caught:
                        wm(*args)
                    self.assertIs(caught.exception, error)

    def test_type_errors_are_reworded_with_their_cause(self):
        cause = ValueError("root")
        error = TypeError("not today")
        error.__cause__ = cause
        with self.assertRaises(TypeError) as caught:
            wm([0.5], RaisingFloat(error), 0.1)
        self.assertEqual(str(caught.exception), "argument 're': not today")
        self.assertIsNot(caught.exception, error)
        self.assertIs(caught.exception.__cause__, cause)

    def test_type_error_subclass_is_not_reworded(self):
        class MyTypeError(TypeError):
            pass

        error = MyTypeError("mine")
        with self.assertRaises(MyTypeError) as caught:
            wm([RaisingFloat(error)], 1.0, 0.1)
        self.assertIs(caught.exception, error)

    def test_huge_int_overflows(self):
        with self.assertRaises(OverflowError):
            wm([0.5], 10 ** 400, 0.1)
        with self.assertRaises(OverflowError):
            wm([10 ** 400], 1.0, 0.1)

    def test_iteration_that_fails_midway(self):
        with self.assertRaises(ValueError) as caught:
            wm(Samples([0.5, 1.0, 2.0], fail_after=2, error=ValueError("midway")), 1.0, 0.1)
        self.assertEqual(str(caught.exception), "midway")
        with self.assertRaises(TypeError) as caught:
            wm(Samples([0.5, 1.0], fail_after=1, error=TypeError("iter broke")), 1.0, 0.1)
        self.assertEqual(str(caught.exception), "argument 'l': iter broke")

    def test_length_is_only_a_hint(self):
        items = [0.5, 1.0, 2.0]
        expected = wm(items, 1.0, 0.1)
        for length in (0, 1, 100, 2 ** 62):
            with self.subTest(length=length):
                self.assertEqual(wm(Samples(items, length=length), 1.0, 0.1), expected)
        self.assertEqual(wm(BadLength(items), 1.0, 0.1), expected)

    def test_later_arguments_are_not_converted_after_a_failure(self):
        touched = []

        class Spy:
            def __float__(self):
                touched.append(True)
                return 1.0

        with self.assertRaises(TypeError):
            wm("bad", Spy(), Spy())
        self.assertEqual(touched, [])


class OwnershipTest(unittest.TestCase):
    @unittest.skipIf(ON_PYPY, "reference counts are CPython's")
    def test_no_reference_leaks_on_success_and_failure(self):
        l, re, rstar, bad = [0.5, 2.0], 1.0 + 0.0, 0.1 + 0.0, "bad"
        hook = Floaty(0.1)
        raising = FreshlyRaisingFloat()
        objects = [l, l[0], re, rstar, bad, hook, raising]

        def calls():
            wm(l, re, rstar)
            wm(l, re, hook)
            for args, kwargs in (((bad, re, rstar), {}), ((l, re), {}), ((l, re, rstar, re), {}),
                                 ((l,), {"rho": re}), ((l, raising, rstar), {}),
                                 (([raising], re, rstar), {}), ((l, [re], rstar), {})):
                try:
                    wm(*args, **kwargs)
                except Exception:
                    pass

        calls()
        before = [sys.getrefcount(o) for o in objects]
        for _ in range(1000):
            calls()
        self.assertEqual([sys.getrefcount(o) for o in objects], before)


class MemoryTest(unittest.TestCase):
    @unittest.skipIf(ON_PYPY, "under an address-space limit PyPy's own allocations fail first")
    @unittest.skipIf(os.environ.get("MIRLAXON_SANITIZED"), "AddressSanitizer needs more address space")
    def test_allocation_failure_is_a_memory_error(self):
        # Under a 512 MiB address-space limit a sequence of 2**26 items (512 MiB
        # of doubles) cannot be held: the call raises MemoryError, releases
        # what it had, and the interpreter goes on.
        script = textwrap.dedent("""
            import resource, mirlaxon
            limit = 512 * 2 ** 20
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
            try:
                mirlaxon.witt_mao_magnification(range(2 ** 26), 1.0, 0.1)
            except MemoryError:
                print("MemoryError")
            print(mirlaxon.witt_mao_magnification([2.0], 1.0, 1.0))
        """)
        result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                                env=os.environ, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.split(), ["MemoryError", "[%r]" % wm([2.0], 1.0, 1.0)[0]])


if __name__ == "__main__":
    unittest.main()
