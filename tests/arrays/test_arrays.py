"""The array front against the module: the same bits on the reference tables'
inputs and on a random set, in every input form; its results (type, `out`,
nothing written on failure); and the same exception, with the same text, for
each model failure."""
import csv
import math
import os
import platform
import random
import struct
import sys
import unittest
from array import array

import mirlaxon
import mirlaxon_arrays

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402

ON_PYPY = platform.python_implementation() == "PyPy"
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "data")
try:
    import numpy
except ImportError:
    numpy = None


def rows(name):
    with open(os.path.join(DATA, name), encoding="utf-8") as table:
        return [row for row in csv.reader(table, delimiter="\t") if row and not row[0].startswith("#")]


def profiles():
    """Every flux map and limb law of the reference tables."""
    maps = [([float(x) for x in bl.split(",")], [float(x) for x in bf.split(",")])
            for _, bl, bf in rows("flux_maps_regimes.tsv")]
    laws = [([float(x) for x in p.split(",")], [float(x) for x in w.split(",")])
            for _, p, w in rows("limb_laws.tsv")]
    return maps, laws


def reference_cases():
    """(rstar, separations) with re = 1, from the tables' inputs; and the rings (l, r, rstar)."""
    by_rho = {}

    def add(rho, l):
        by_rho.setdefault(rho, []).append(l)

    for u, big_r, _ in rows("disk_closed_form.tsv"):
        add(float(big_r), float(u) / float(big_r))
    for rho, l, *_ in rows("uniform_disk_regimes.tsv"):
        add(float(rho), float(l))
    for name in ("source_regimes.tsv", "limb_law_regimes.tsv"):
        for _, l, eta, *_ in rows(name):
            add(1.0 / float(eta), float(l))
    rings = [(float(l), float(r), 1.0 / float(eta))
             for name in ("ring_reference.tsv", "ring_regimes.tsv") for l, r, eta, *_ in rows(name)]
    return sorted(by_rho.items()), rings


def bits(values):
    return struct.pack("%dd" % len(values), *values)


def outcome(call):
    """The bits of a call's values, or its exception's kind and text (the
    module's panic type for a flux map of two lengths is the front's ValueError)."""
    try:
        result = call()
    except BaseException as error:  # the module's panic type derives from BaseException
        kind = type(error).__name__
        return ("ValueError" if kind == "PanicException" else kind, str(error))
    return type(result) is tuple, [bits(row) for row in function_surface.rows(result)]


def call(module, name, l, re=1.0, rstar=1.0, **others):
    """`name` of `module` with the separations `l` as they are given."""
    arguments = list(function_surface.arguments(name, list(l) or [0.0], re, rstar, **others))
    if function_surface.is_sequence(name, "l"):
        arguments[0] = l
    return getattr(module, name)(*arguments)


def input_forms(values):
    """The separations as every kind of sequence the front takes."""
    forms = {"list": list(values), "tuple": tuple(values), "array": array("d", values),
             "memoryview": memoryview(array("d", values))}
    if numpy is not None:
        forms["numpy"] = numpy.array(values, dtype=numpy.float64)
    return forms


class SameBitsTest(unittest.TestCase):
    def assert_same(self, name, l, rstar, **others):
        expected = outcome(lambda: call(mirlaxon, name, l, 1.0, rstar, **others))
        for form, separations in input_forms(l).items():
            with self.subTest(function=name, rstar=rstar, form=form):
                got = outcome(lambda: call(mirlaxon_arrays, name, separations, 1.0, rstar, **others))
                self.assertEqual(got, expected)

    def test_reference_tables(self):
        cases, rings = reference_cases()
        maps, laws = profiles()
        for rstar, l in cases:
            for name in function_surface.NAMES:
                if not function_surface.is_sequence(name, "l"):
                    continue
                self.assert_same(name, l, rstar)
                if "bl" in function_surface.parameters(name):
                    for bl, bf in maps:
                        self.assert_same(name, l[:8], rstar, bl=bl, bf=bf)
                if "powers" in function_surface.parameters(name):
                    for powers, weights in laws:
                        self.assert_same(name, l[:8], rstar, powers=powers, weights=weights)
        for l, r, rstar in rings:
            self.assertEqual(outcome(lambda: mirlaxon_arrays.heyrovsky_magnification(l, r, 1.0, rstar)),
                             outcome(lambda: mirlaxon.heyrovsky_magnification(l, r, 1.0, rstar)))

    def test_random_arguments_and_special_values(self):
        rng = random.Random(2026)
        specials = [0.0, -0.0, 1.0, 10.0, -1.0, math.inf, -math.inf, math.nan, 5e-324, 1e300]
        for _ in range(40):
            l = [10 ** rng.uniform(-3, 3) for _ in range(rng.randint(0, 40))] + rng.sample(specials, 2)
            rng.shuffle(l)
            rstar = rng.choice([10 ** rng.uniform(-4, 0.5), 0.0, -0.1, math.nan])
            re = rng.choice([1.0, 1.0, 0.0, 2.5])
            profile = {"bl": sorted(rng.uniform(0, 1) for _ in range(rng.randint(0, 5))),
                       "powers": [rng.choice([0.0, 0.5, 1.0, -1.0, math.inf]) for _ in range(2)],
                       "weights": [rng.uniform(-1, 1) for _ in range(rng.choice([1, 2, 2]))]}
            profile["bf"] = [rng.uniform(0, 1) for _ in range(len(profile["bl"]) + rng.choice([0, 0, 1]))]
            for name in function_surface.NAMES:
                others = {key: value for key, value in profile.items() if key in function_surface.parameters(name)}
                with self.subTest(function=name, l=l, re=re, rstar=rstar, **others):
                    self.assertEqual(
                        outcome(lambda: call(mirlaxon_arrays, name, l, re, rstar, **others)),
                        outcome(lambda: call(mirlaxon, name, l, re, rstar, **others)))


class ResultTest(unittest.TestCase):
    F = staticmethod(mirlaxon_arrays.integrated_heyrovsky_magnification)
    L = [0.5, 2.0, 30.0]

    def test_result_kind_follows_the_separations(self):
        expected = array("d", mirlaxon.integrated_heyrovsky_magnification(self.L, 1.0, 0.1))
        for form, separations in input_forms(self.L).items():
            with self.subTest(form):
                result = self.F(separations, 1.0, 0.1)
                kind = numpy.ndarray if form == "numpy" else array
                self.assertIs(type(result), kind)
                self.assertEqual(bits(list(result)), bits(list(expected)))
                if kind is array:
                    self.assertEqual(result.typecode, "d")

    def test_out_is_filled_and_returned(self):
        expected = bits(mirlaxon.integrated_heyrovsky_magnification(self.L, 1.0, 0.1))
        targets = [array("d", [7.0] * 3), memoryview(array("d", [7.0] * 3))]
        if numpy is not None:
            targets.append(numpy.full(3, 7.0))
        for out in targets:
            with self.subTest(type(out).__name__):
                self.assertIs(self.F(self.L, 1.0, 0.1, out=out), out)
                self.assertEqual(bytes(memoryview(out).cast("B")), expected)
        self.assertEqual(type(self.F(self.L, 1.0, 0.1, out=None)), array)

    def test_bad_out_is_refused_and_left_alone(self):
        cases = [  # (out, exception, text)
            (array("d", [7.0] * 2), ValueError, "argument 'out': 2 values, not one per separation (3)"),
            (array("d"), ValueError, "argument 'out': 0 values, not one per separation (3)"),
            (array("f", [7.0] * 3), TypeError, "argument 'out': a one-dimensional, contiguous float64 buffer "
                                               "is needed, not 'array'"),
            (bytearray(24), TypeError, "argument 'out': a one-dimensional, contiguous float64 buffer is "
                                       "needed, not 'bytearray'"),
            (bytes(24), TypeError, "argument 'out': a writable float64 buffer is needed, not 'bytes'"),
            ([0.0] * 3, TypeError, "argument 'out': a writable float64 buffer is needed, not 'list'"),
            (memoryview(array("d", [7.0] * 6))[::2], TypeError,
             "argument 'out': a one-dimensional, contiguous float64 buffer is needed, not 'memoryview'"),
        ]
        if numpy is not None:
            cases.append((numpy.full((3, 1), 7.0), TypeError, "argument 'out': a one-dimensional, contiguous "
                                                              "float64 buffer is needed, not 'ndarray'"))
        for out, kind, text in cases:
            with self.subTest(out=out):
                before = out.tobytes() if hasattr(out, "tobytes") else None
                with self.assertRaises(kind) as caught:
                    self.F(self.L, 1.0, 0.1, out=out)
                self.assertEqual(str(caught.exception), text)
                if before is not None:
                    self.assertEqual(out.tobytes(), before)

    def test_nothing_is_written_when_a_later_piece_fails(self):
        # Thousands of closed forms make several pieces; the last one fails.
        l = [2.0] * 50000 + [math.nan]
        out = array("d", [7.0]) * len(l)
        with self.assertRaises(RuntimeError) as caught:
            mirlaxon_arrays.witt_mao_magnification(l, 1.0, 0.1, out=out)
        with self.assertRaises(RuntimeError) as expected:
            mirlaxon.witt_mao_magnification(l, 1.0, 0.1)
        self.assertEqual(str(caught.exception), str(expected.exception))
        self.assertEqual(set(out), {7.0})


class RowsResultTest(unittest.TestCase):
    """A gradient's three arrays and components' array per power: their
    kinds, `out` as a tuple or list of buffers, and refused outs."""
    L = [0.5, 2.0, 30.0]
    CASES = [  # (function, arguments after l, rows)
        ("witt_mao_gradient", (1.0, 0.1), 3),
        ("integrated_limb_law_heyrovsky_gradient", (1.0, 0.1, [0.0, 1.0], [0.4, 0.6]), 3),
        ("integrated_limb_law_heyrovsky_components", (1.0, 0.1, [0.0, 0.5, 1.0, 2.0]), 4),
    ]

    def test_arrays_and_out(self):
        for name, others, count in self.CASES:
            expected = [bits(row) for row in getattr(mirlaxon, name)(self.L, *others)]
            for form, separations in input_forms(self.L).items():
                with self.subTest(name, form=form):
                    result = getattr(mirlaxon_arrays, name)(separations, *others)
                    self.assertIs(type(result), tuple if "gradient" in name else list)
                    kind = numpy.ndarray if form == "numpy" else array
                    self.assertEqual([type(row) for row in result], [kind] * count)
                    self.assertEqual([bits(list(row)) for row in result], expected)
            for container in (tuple, list):
                out = container(array("d", [7.0] * 3) for _ in range(count))
                with self.subTest(name, out=container.__name__):
                    self.assertIs(getattr(mirlaxon_arrays, name)(self.L, *others, out=out), out)
                    self.assertEqual([bits(list(row)) for row in out], expected)

    def test_bad_out_is_refused_and_left_alone(self):
        name, others, _ = self.CASES[0]
        f = getattr(mirlaxon_arrays, name)

        def buffers(*lengths):
            return [array("d", [7.0] * n) for n in lengths]

        cases = [  # (out, exception, text)
            (array("d", [7.0] * 3), TypeError,
             "argument 'out': a tuple or list of 3 float64 buffers is needed, not 'array'"),
            (tuple(buffers(3, 3)), ValueError, "argument 'out': 2 buffers, not 3"),
            (buffers(3, 3, 3, 3), ValueError, "argument 'out': 4 buffers, not 3"),
            (buffers(3, 2, 3), ValueError, "argument 'out[1]': 2 values, not one per separation (3)"),
            (buffers(3, 3) + [bytes(24)], TypeError,
             "argument 'out[2]': a writable float64 buffer is needed, not 'bytes'"),
            (buffers(3, 3) + [array("f", [7.0] * 3)], TypeError,
             "argument 'out[2]': a one-dimensional, contiguous float64 buffer is needed, not 'array'"),
        ]
        for out, kind, text in cases:
            with self.subTest(out=out):
                before = [bytes(memoryview(b).cast("B")) for b in out] if isinstance(out, (tuple, list)) else None
                with self.assertRaises(kind) as caught:
                    f(self.L, *others, out=out)
                self.assertEqual(str(caught.exception), text)
                if before is not None:
                    self.assertEqual([bytes(memoryview(b).cast("B")) for b in out], before)
        # A failing model writes nothing into any of them.
        out = buffers(4, 4, 4)
        with self.assertRaises(RuntimeError):
            f([2.0, 3.0, 4.0, math.nan], 1.0, 0.1, out=out)
        self.assertEqual([set(b) for b in out], [{7.0}] * 3)


class FailureTest(unittest.TestCase):
    def test_each_model_failure_as_the_module_raises_it(self):
        cases = [  # (call, exception)
            (lambda m: m.witt_mao_magnification([2.0, math.nan], 1.0, 0.1), RuntimeError),
            (lambda m: m.integrated_limb_law_heyrovsky_magnification([1.0], 1.0, 1.0, [0.0], []), ValueError),
            (lambda m: m.integrated_limb_law_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5, -1e16], [1, 2]),
             ValueError),
            (lambda m: m.integrated_limb_law_heyrovsky_magnification([1.0], 1.0, 1.0, [-100.0], [1]), ValueError),
            (lambda m: m.integrated_limb_law_heyrovsky_magnification([1.0], 1.0, 1.0, [1.0], [math.inf]),
             ValueError),
            (lambda m: m.integrated_limb_law_heyrovsky_magnification([], 1.0, 1.0, [1.0], [-math.nan]),
             ValueError),
            (lambda m: m.integrated_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.0], [1.0, 2.0]),
             ValueError),
            (lambda m: m.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, [0.0, 1.0], [1.0]), ValueError),
            (lambda m: m.witt_mao_gradient([2.0, math.nan], 1.0, 0.1), RuntimeError),
            (lambda m: m.integrated_limb_law_heyrovsky_gradient([1.0], 1.0, 1.0, [0.5], [1, 2]), ValueError),
            (lambda m: m.integrated_limb_law_heyrovsky_components([1.0], 1.0, 1.0, [0.5, -1e16]), ValueError),
        ]
        for call, kind in cases:
            module_outcome = outcome(lambda: call(mirlaxon))
            with self.subTest(expected=module_outcome):
                with self.assertRaises(kind) as caught:
                    call(mirlaxon_arrays)
                self.assertIs(type(caught.exception), kind)
                self.assertEqual((kind.__name__, str(caught.exception)), module_outcome)


class PackageTest(unittest.TestCase):
    def test_names_signatures_and_files(self):
        import inspect
        self.assertEqual(mirlaxon_arrays.__all__, mirlaxon.__all__)
        self.assertEqual(mirlaxon_arrays.__version__, mirlaxon.__version__)
        for name in mirlaxon.__all__:
            with self.subTest(name):
                parameters = list(inspect.signature(getattr(mirlaxon_arrays, name)).parameters)
                extra = ["out"] if function_surface.is_sequence(name, "l") else []
                self.assertEqual(parameters, function_surface.parameters(name) + extra)
        library, header = mirlaxon_arrays.paths()
        self.assertTrue(os.path.isfile(library) and os.path.isfile(header))


if __name__ == "__main__":
    unittest.main()
