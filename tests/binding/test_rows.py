"""Functions with several rows of values per call: a gradient (A, dA/du,
dA/drho) and a limb law's components (a row per power). Their shapes, the
rows that must repeat another function's bits, the rows of a call computed
in pieces (Ctrl-C's) against one separation at a time, and their failures.
The derivatives' values are not checked here: their accuracy is tested
against a reference of their own."""
import math
import struct
import unittest

import mirlaxon

# Separations across the regimes (inside, the limb, near, far, the series),
# more than an integral's first piece (16), so that calls run in pieces.
L = [0.0, 0.3, 0.9, 1.0, 1.2, 2.0, 5.0, 9.5, 12.0, 80.0] * 3
RHO = 0.05
LAW = ([0.0, 0.5, 1.0], [0.2, 0.5, 0.3])


def bits(values):
    return struct.pack("%dd" % len(values), *values)


class RowsTest(unittest.TestCase):
    # (function, arguments after l, rows, the function whose bits row 0 repeats)
    CASES = [
        (mirlaxon.witt_mao_gradient, (1.0, RHO), 3, lambda l: mirlaxon.witt_mao_magnification(l, 1.0, RHO)),
        (mirlaxon.integrated_limb_law_heyrovsky_gradient, (1.0, RHO) + LAW, 3,
         lambda l: mirlaxon.integrated_limb_law_heyrovsky_magnification(l, 1.0, RHO, *LAW)),
        (mirlaxon.integrated_limb_law_heyrovsky_components, (1.0, RHO, LAW[0]), 3, None),
    ]

    def test_shapes_pieces_and_the_value_row(self):
        for function, others, count, value in self.CASES:
            with self.subTest(function.__name__):
                result = function(L, *others)
                self.assertIs(type(result), tuple if "gradient" in function.__name__ else list)
                self.assertEqual(len(result), count)
                for row in result:
                    self.assertIs(type(row), list)
                    self.assertEqual(len(row), len(L))
                # In pieces or one separation at a time, every row the same bits.
                alone = [function([x], *others) for x in L]
                for k, row in enumerate(result):
                    self.assertEqual(bits(row), bits([one[k][0] for one in alone]))
                if value is not None:
                    self.assertEqual(bits(result[0]), bits(value(L)))
                empty = function([], *others)
                self.assertEqual([list(row) for row in empty], [[]] * count)

    def test_components_make_up_the_law(self):
        # A = sum(w_k N_k A_k) / sum(w_k N_k), N_k = 2 pi / (p_k + 2).
        powers, weights = LAW
        rows = mirlaxon.integrated_limb_law_heyrovsky_components(L, 1.0, RHO, powers)
        law = mirlaxon.integrated_limb_law_heyrovsky_magnification(L, 1.0, RHO, powers, weights)
        norms = [w * 2 * math.pi / (p + 2) for p, w in zip(powers, weights)]
        for i, expected in enumerate(law):
            combined = math.fsum(n * row[i] for n, row in zip(norms, rows)) / math.fsum(norms)
            self.assertLessEqual(abs(combined - expected), 1e-12 * expected, (L[i], combined, expected))
        self.assertEqual(mirlaxon.integrated_limb_law_heyrovsky_components(L, 1.0, RHO, []), [])

    def test_failures_are_the_magnifications(self):
        cases = [  # (call, the magnification's call that fails the same way)
            (lambda: mirlaxon.witt_mao_gradient([2.0, math.nan], 1.0, 0.1),
             lambda: mirlaxon.witt_mao_magnification([2.0, math.nan], 1.0, 0.1)),
            (lambda: mirlaxon.integrated_limb_law_heyrovsky_gradient([1.0], 1.0, 1.0, [0.0], []),
             lambda: mirlaxon.integrated_limb_law_heyrovsky_magnification([1.0], 1.0, 1.0, [0.0], [])),
            (lambda: mirlaxon.integrated_limb_law_heyrovsky_gradient([1.0], 1.0, 1.0, [1.0], [math.inf]),
             lambda: mirlaxon.integrated_limb_law_heyrovsky_magnification([1.0], 1.0, 1.0, [1.0], [math.inf])),
            (lambda: mirlaxon.integrated_limb_law_heyrovsky_components([1.0], 1.0, 1.0, [0.5, 1.0, -1.0]),
             lambda: mirlaxon.integrated_limb_law_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5, 1.0, -1.0],
                                                                          [1, 1, 1])),
            (lambda: mirlaxon.integrated_limb_law_heyrovsky_components([], 1.0, 1.0, [math.nan]),
             lambda: mirlaxon.integrated_limb_law_heyrovsky_magnification([], 1.0, 1.0, [math.nan], [1])),
        ]
        for call, magnification in cases:
            with self.assertRaises(Exception) as expected:
                magnification()
            with self.subTest(str(expected.exception)):
                with self.assertRaises(type(expected.exception)) as caught:
                    call()
                self.assertEqual(str(caught.exception), str(expected.exception))


if __name__ == "__main__":
    unittest.main()
