"""The ring family through the host: argument kinds, results, failures, and
PanicException for an inconsistent flux map."""

import math
import unittest

import mirlaxon

ring = mirlaxon.heyrovsky_magnification
integrated = mirlaxon.integrated_heyrovsky_magnification
discrete = mirlaxon.discrete_flux_map_heyrovsky_magnification


def panic_type():
    try:
        discrete([], 1.0, 1.0, [1.0], [])
    except BaseException as error:  # noqa: B036 - PanicException derives from BaseException only
        return type(error)
    raise AssertionError("no panic")


class RingTest(unittest.TestCase):
    def test_four_numbers_in_one_float_out(self):
        value = ring(2.0, 0.5, 1.0, 1.0)
        self.assertIs(type(value), float)
        self.assertAlmostEqual(value, 1.06794006184, places=10)
        self.assertEqual(ring(r=0.5, rstar=1, re=1, l=2), value)
        self.assertEqual(ring(0.5, 0.5, 1.0, 1.0), float("inf"))

    def test_sequence_for_l_is_rejected(self):
        with self.assertRaises(TypeError) as caught:
            ring([2.0], 0.5, 1.0, 1.0)
        self.assertTrue(str(caught.exception).startswith("argument 'l': "))
        with self.assertRaises(TypeError) as caught:
            ring(2.0, 0.5, 1.0)
        self.assertEqual(str(caught.exception),
                         "heyrovsky_magnification() missing 1 required positional argument: 'rstar'")

    def test_kernel_failure_is_runtime_error(self):
        with self.assertRaises(RuntimeError) as caught:
            ring(0.5, -1e-5, 1.0, 1.0)
        self.assertEqual(str(caught.exception), "elliprj: Fail to converge")


class IntegratedRingTest(unittest.TestCase):
    def test_limb_darkened_values(self):
        values = integrated([2.0, 3.0], 1.0, 1.0)
        self.assertEqual(len(values), 2)
        self.assertAlmostEqual(values[0], 1.0749139411, places=9)
        self.assertAlmostEqual(values[1], 1.0193416042, places=9)
        self.assertEqual(integrated([], 1.0, 1.0), [])

    def test_no_separation_or_no_source_is_nan(self):
        # Nothing to magnify: NaN for that element, and the call succeeds;
        # no lensing (re = 0): exactly 1.
        for function in (lambda l, re, rstar: integrated(l, re, rstar),
                         lambda l, re, rstar: mirlaxon.integrated_flux_map_heyrovsky_magnification(
                             l, re, rstar, [0.0, 1.0], [1.0, 0.5])):
            values = function([-2.0, float("nan"), 2.0], 1.0, 1.0)
            self.assertTrue(math.isnan(values[0]) and math.isnan(values[1]))
            self.assertAlmostEqual(values[2], 1.07, delta=0.01)
            self.assertEqual(function([2.0], 0.0, 1.0), [1.0])  # no lensing
            self.assertTrue(all(math.isnan(v) for v in function([2.0], 1.0, 0.0)))


class DiscreteRingsTest(unittest.TestCase):
    def test_weighted_sum(self):
        self.assertAlmostEqual(discrete([0.3], 1.0, 1.0, [1.0], [2.0])[0], 2.73738906734, places=10)
        self.assertEqual(discrete([0.3, 2.0], 1.0, 1.0, [], []), [0.0, 0.0])
        with self.assertRaises(RuntimeError) as caught:
            discrete([2.0], 1.0, 1.0, [-0.5], [1.0])
        self.assertEqual(str(caught.exception), "elliprj: Fail to converge")

    def test_unequal_lengths_panic_before_l_is_looked_at(self):
        panic = panic_type()
        self.assertEqual(panic.__name__, "PanicException")
        self.assertEqual(panic.__module__, "pyo3_runtime")
        self.assertFalse(issubclass(panic, Exception))
        self.assertTrue(issubclass(panic, BaseException))
        with self.assertRaises(panic) as caught:
            discrete([], 1.0, 1.0, [0.5, 1.0], [1.0, 2.0, 3.0])
        self.assertEqual(str(caught.exception), "assertion `left == right` failed\n  left: 2\n right: 3")
        self.assertEqual(caught.exception.args, ("assertion `left == right` failed\n  left: 2\n right: 3",))
        self.assertIs(panic_type(), panic)
        # Conversion comes first: a bad argument is a TypeError, not a panic.
        with self.assertRaises(TypeError):
            discrete([], 1.0, 1.0, [0.5], "12")
        # The interpreter goes on working after a panic.
        self.assertEqual(discrete([0.3], 1.0, 1.0, [1.0], [1.0]), [ring(0.3, 1.0, 1.0, 1.0)])

    def test_panic_raised_by_a_conversion_hook_is_resumed(self):
        panic = panic_type()

        class Hook:
            error = panic("from the hook")

            def __float__(self):
                raise Hook.error

        for args in ((Hook(), 0.5, 1.0, 1.0), (2.0, 0.5, 1.0, Hook())):
            with self.assertRaises(panic) as caught:
                ring(*args)
            self.assertEqual(str(caught.exception), "from the hook")
            self.assertIsNot(caught.exception, Hook.error)


if __name__ == "__main__":
    unittest.main()
