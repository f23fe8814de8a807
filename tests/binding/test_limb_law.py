"""The limb-darkening law function through the host: the standard laws as
powers and weights, agreement with the functions it generalises, its
ValueErrors, and what an empty or dark law gives."""

import math
import unittest

import mirlaxon

law = mirlaxon.integrated_limb_law_heyrovsky_magnification
SEPARATIONS = [0.0, 0.3, 0.99, 1.0, 1.5, 2.0, 40.0]


class LimbLawTest(unittest.TestCase):
    def assert_close(self, got, expected, tolerance):
        self.assertEqual(len(got), len(expected))
        for x, y in zip(got, expected):
            self.assertAlmostEqual(x / y, 1.0, delta=tolerance)

    def test_the_built_in_profile_is_the_linear_law_with_coefficient_0_6(self):
        for eta in (0.1, 1.0, 30.0):
            self.assert_close(law(SEPARATIONS, eta, 1.0, [0.0, 1.0], [0.4, 0.6]),
                              mirlaxon.integrated_heyrovsky_magnification(SEPARATIONS, eta, 1.0), 1e-13)

    def test_a_constant_law_is_the_uniform_disk(self):
        separations = [s for s in SEPARATIONS if s != 1.0]
        for eta in (0.1, 1.0, 30.0):
            self.assert_close(law(separations, eta, 1.0, [0.0], [1.0]),
                              mirlaxon.witt_mao_magnification(separations, eta, 1.0), 2e-13)

    def test_scaling_every_weight_changes_nothing(self):
        powers, weights = [0.0, 0.5, 1.0, 1.5, 2.0], [0.3, 0.5, 0.2, 0.3, -0.3]
        base = law(SEPARATIONS, 1.0, 1.0, powers, weights)
        self.assert_close(law(SEPARATIONS, 1.0, 1.0, powers, [7.5 * w for w in weights]), base, 1e-14)

    def test_keywords_and_any_sequences(self):
        self.assertEqual(law(weights=(0.4, 0.6), powers=range(2), rstar=1.0, re=1.0, l=[2.0]),
                         law([2.0], 1.0, 1.0, [0.0, 1.0], [0.4, 0.6]))

    def test_value_errors_name_the_index_and_the_value(self):
        cases = [
            (([0.0, 1.0, 2.0], [1.0, 0.5]), "powers and weights differ in length (3 and 2)"),
            (([0.0, -0.5], [1.0, 1.0]), "powers[1] must be a finite number >= 0, not -0.5"),
            (([float("nan")], [1.0]), "powers[0] must be a finite number >= 0, not nan"),
            (([0.0, float("inf")], [1.0, 1.0]), "powers[1] must be a finite number >= 0, not inf"),
            (([0.0, 1.0], [1.0, float("-inf")]), "weights[1] must be a finite number, not -inf"),
            (([0.0, 1.0], [float("nan"), 1.0]), "weights[0] must be a finite number, not nan"),
            (([-2.0], [1.0]), "powers[0] must be a finite number >= 0, not -2.0"),
            (([-1e-05], [1.0]), "powers[0] must be a finite number >= 0, not -1e-05"),
        ]
        for (powers, weights), message in cases:
            with self.subTest(message):
                with self.assertRaises(ValueError) as caught:
                    law([2.0], 1.0, 1.0, powers, weights)
                self.assertEqual(str(caught.exception), message)

    def test_an_empty_or_dark_law_and_bad_separations_give_nan(self):
        for powers, weights in (([], []), ([0.0, 2.0], [1.0, -2.0])):  # N = π − 2·(2π/4) = 0
            values = law([0.5, 2.0, 100.0], 1.0, 1.0, powers, weights)
            self.assertTrue(all(math.isnan(v) for v in values))
        values = law([float("nan"), -1.0, 2.0], 1.0, 1.0, [0.0, 1.0], [0.5, 0.5])
        self.assertTrue(math.isnan(values[0]) and math.isnan(values[1]) and not math.isnan(values[2]))
        self.assertEqual(law([], 1.0, 1.0, [0.0], [1.0]), [])


if __name__ == "__main__":
    unittest.main()
