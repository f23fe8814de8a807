"""The limb-darkened uniform-disk family and the flux-map functions through the host."""

import math
import unittest

import mirlaxon

disk = mirlaxon.integrated_witt_mao_magnification
disk_map = mirlaxon.integrated_flux_map_witt_mao_magnification
ring_map = mirlaxon.integrated_flux_map_heyrovsky_magnification
FLUX_MAPS = (disk_map, ring_map)
ASSERTION = "assertion `left == right` failed\n  left: %d\n right: %d"


class DiskFamilyTest(unittest.TestCase):
    def test_agrees_with_the_ring_family(self):
        l = [2.0, 3.0, 0.5]
        for a, b in zip(disk(l, 1.0, 1.0), mirlaxon.integrated_heyrovsky_magnification(l, 1.0, 1.0)):
            self.assertAlmostEqual(a / b, 1.0, delta=1e-5)
        self.assertAlmostEqual(disk([2.0], 1.0, 1.0)[0], 1.0749139411, delta=1e-9)

    def test_uniform_failure_is_passed_on(self):
        with self.assertRaises(RuntimeError) as caught:
            disk([2.0, float("nan")], 1.0, 1.0)
        self.assertEqual(str(caught.exception), "elliprj: Fail to converge")
        self.assertEqual(disk([], 1.0, 1.0), [])


class FluxMapTest(unittest.TestCase):
    def test_one_sample_is_the_uniform_disk(self):
        uniform = mirlaxon.witt_mao_magnification([2.0], 1.0, 1.0)[0]
        self.assertAlmostEqual(uniform, 1.0766480357, places=9)
        self.assertAlmostEqual(ring_map([2.0], 1.0, 1.0, [0.5], [3.0])[0], uniform, places=11)
        self.assertAlmostEqual(disk_map([2.0], 1.0, 1.0, [0.5], [3.0])[0], uniform, places=8)

    def test_scale_of_the_brightness_does_not_matter(self):
        bl, bf = [0.0, 0.4, 1.0], [1.0, 0.8, 0.3]
        for function in FLUX_MAPS:
            with self.subTest(function.__name__):
                a = function([0.3, 2.0], 1.0, 1.0, bl, bf)
                b = function([0.3, 2.0], 1.0, 1.0, tuple(bl), [10 * y for y in bf])
                # Up to the rule: its absolute stopping test meets the
                # scaled integrand at another level.
                for x, y in zip(a, b):
                    self.assertAlmostEqual(x / y, 1.0, delta=1e-12)

    def test_empty_map_gives_nan(self):
        for function in FLUX_MAPS:
            with self.subTest(function.__name__):
                values = function([0.5, 2.0], 1.0, 1.0, [], [])
                self.assertEqual(len(values), 2)
                self.assertTrue(all(math.isnan(v) for v in values))
                self.assertEqual(function([], 1.0, 1.0, [], []), [])

    def test_unequal_lengths_panic_even_with_no_separations(self):
        for function in FLUX_MAPS:
            with self.subTest(function.__name__):
                with self.assertRaises(BaseException) as caught:
                    function([], 1.0, 1.0, [0.0, 0.5, 1.0], [1.0, 2.0])
                self.assertEqual(type(caught.exception).__name__, "PanicException")
                self.assertNotIsInstance(caught.exception, Exception)
                self.assertEqual(str(caught.exception), ASSERTION % (3, 2))

    def test_conversion_errors_come_before_the_length_check(self):
        for function in FLUX_MAPS:
            with self.subTest(function.__name__):
                with self.assertRaises(TypeError) as caught:
                    function([1.0], 1.0, 1.0, [0.5], None)
                self.assertEqual(str(caught.exception),
                                 "argument 'bf': 'NoneType' object cannot be converted to 'Sequence'")
                with self.assertRaises(TypeError) as caught:
                    function([1.0], 1.0, 1.0, bl=["x"], bf=[1.0, 2.0])
                self.assertEqual(str(caught.exception), "argument 'bl': must be real number, not str")


if __name__ == "__main__":
    unittest.main()
