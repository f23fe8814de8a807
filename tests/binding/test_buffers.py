"""Buffer arguments: contiguous float64 buffers are read in one go, every
other buffer falls back to iteration, and both give the list's results."""

import array
import platform
import unittest

import mirlaxon

try:
    import numpy
except ImportError:  # PyPy here has no numpy
    numpy = None

SEPARATIONS = [0.0, 0.3, 0.5 + 1e-9, 0.99, 1.0, 1.7, 12.5, 1e6]
RADII = [0.0, 0.2, 0.5, 1.0]
BRIGHTNESS = [1.0, 0.9, 0.7, 0.4]


# PyPy's compatibility layer leaks the format text of every buffer it
# exports, so the module reads buffers directly only under CPython.
READS_BUFFERS = platform.python_implementation() != "PyPy"


class IterationRefused(array.array):
    """A float64 array whose iteration fails: only a direct read of its
    buffer can convert it."""

    def __iter__(self):
        raise AssertionError("iterated")


def variants(values):
    """(description, object) pairs holding `values`, each read one way."""
    doubles = array.array("d", values)
    found = [
        ("array.array('d')", doubles),
        ("memoryview of array('d')", memoryview(doubles)),
        ("array.array('f')", array.array("f", values)),  # other item type: iterated
        ("tuple", tuple(values)),
    ]
    if numpy is not None:
        found += [
            ("numpy float64", numpy.array(values)),
            ("numpy big-endian float64", numpy.array(values, dtype=">f8")),
            ("numpy float32", numpy.array(values, dtype=numpy.float32)),
            ("numpy int64", numpy.array([round(v * 8) for v in values], dtype=numpy.int64)),
        ]
    return found


class BufferTest(unittest.TestCase):
    def test_every_buffer_gives_the_results_of_its_list(self):
        calls = [
            (mirlaxon.witt_mao_magnification, lambda l: (l, 1.0, 0.1)),
            (mirlaxon.integrated_heyrovsky_magnification, lambda l: (l, 1.0, 0.1)),
            (mirlaxon.discrete_flux_map_heyrovsky_magnification,
             lambda bl: ([0.5, 2.0], 1.0, 0.1, bl, BRIGHTNESS)),
            (mirlaxon.integrated_flux_map_heyrovsky_magnification,
             lambda bf: ([0.5, 2.0], 1.0, 0.1, RADII, bf)),
        ]
        inputs = [SEPARATIONS, RADII, RADII, BRIGHTNESS]
        for (function, arguments), values in zip(calls, inputs):
            for description, converted in variants(values):
                as_list = [float(v) for v in converted]  # what iteration sees
                with self.subTest(function=function.__name__, input=description):
                    self.assertEqual(repr(function(*arguments(converted))),
                                     repr(function(*arguments(as_list))))

    @unittest.skipUnless(READS_BUFFERS, "buffers are iterated under PyPy")
    def test_contiguous_doubles_are_read_without_iterating(self):
        values = IterationRefused("d", SEPARATIONS)
        self.assertEqual(repr(mirlaxon.witt_mao_magnification(values, 1.0, 0.1)),
                         repr(mirlaxon.witt_mao_magnification(list(SEPARATIONS), 1.0, 0.1)))
        self.assertEqual(mirlaxon.witt_mao_magnification(IterationRefused("d"), 1.0, 0.1), [])

    def test_other_buffers_are_iterated(self):
        with self.assertRaisesRegex(AssertionError, "iterated"):
            mirlaxon.witt_mao_magnification(IterationRefused("f", [0.5]), 1.0, 0.1)

    def test_non_contiguous_views_fall_back_to_iteration(self):
        doubles = array.array("d", SEPARATIONS)
        strided = memoryview(doubles)[::2]
        self.assertEqual(repr(mirlaxon.witt_mao_magnification(strided, 1.0, 0.1)),
                         repr(mirlaxon.witt_mao_magnification(SEPARATIONS[::2], 1.0, 0.1)))
        if numpy is not None:
            column = numpy.array([SEPARATIONS, SEPARATIONS]).T.copy()[:, 0]
            self.assertFalse(column.flags.c_contiguous)
            self.assertEqual(repr(mirlaxon.witt_mao_magnification(column, 1.0, 0.1)),
                             repr(mirlaxon.witt_mao_magnification(SEPARATIONS, 1.0, 0.1)))

    def test_buffers_that_are_not_one_dimensional_keep_their_iteration_errors(self):
        # bytes pass the sequence check and iterate to ints: accepted as before.
        self.assertEqual(mirlaxon.witt_mao_magnification(b"\x01", 1.0, 1.0),
                         mirlaxon.witt_mao_magnification([1.0], 1.0, 1.0))
        if numpy is None:
            return
        with self.assertRaisesRegex(TypeError, "^argument 'l': "):
            mirlaxon.witt_mao_magnification(numpy.zeros((2, 2)), 1.0, 1.0)
        with self.assertRaisesRegex(TypeError, "^argument 'l': "):
            mirlaxon.witt_mao_magnification(numpy.array(0.5), 1.0, 1.0)

    @unittest.skipIf(numpy is None, "numpy is not installed for this interpreter")
    def test_numpy_scalars_and_subclasses(self):
        self.assertEqual(mirlaxon.heyrovsky_magnification(numpy.float64(0.5), 0.3, 1.0, 1.0),
                         mirlaxon.heyrovsky_magnification(0.5, 0.3, 1.0, 1.0))
        subclass = numpy.array(SEPARATIONS).view(numpy.recarray)
        self.assertEqual(repr(mirlaxon.witt_mao_magnification(subclass, 1.0, 0.1)),
                         repr(mirlaxon.witt_mao_magnification(SEPARATIONS, 1.0, 0.1)))


if __name__ == "__main__":
    unittest.main()
