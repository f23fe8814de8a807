"""Host threads calling the module at once: the integrals run without the
interpreter lock, and every thread must still get exactly the serial
results, its errors included."""

import os
import sys
import threading
import unittest

import mirlaxon

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402


def workload(seed):
    """Calls of every function, different per seed, with one failing call."""
    ls = [0.03 * seed + 0.11 * i for i in range(40)]
    eta = 0.5 + seed
    calls = [(name, function_surface.arguments(name, ls, eta)) for name in function_surface.NAMES]
    calls.append(("witt_mao_magnification", ([0.5, float("nan")] * 20, eta, 1.0)))  # RuntimeError
    return calls


def run(calls):
    """The results as text: repr keeps every bit of a float and shows NaN
    (which compares unequal to itself) as nan."""
    results = []
    for name, args in calls:
        try:
            results.append(getattr(mirlaxon, name)(*args))
        except RuntimeError as error:
            results.append(("RuntimeError", str(error)))
    return repr(results)


class ThreadsTest(unittest.TestCase):
    def check_threads(self, count, rounds):
        expected = {seed: run(workload(seed)) for seed in range(count)}
        got = {}
        failures = []
        start = threading.Barrier(count)

        def worker(seed):
            try:
                start.wait()
                got[seed] = [run(workload(seed)) for _ in range(rounds)]
            except BaseException as error:  # reported below, not lost in the thread
                failures.append(error)

        threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(count)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(failures, [])
        for seed in range(count):
            for repetition in got[seed]:
                self.assertEqual(repetition, expected[seed])
        self.assertTrue(expected[0].endswith("('RuntimeError', 'elliprj: Fail to converge')]"))

    def test_two_threads_get_their_serial_results(self):
        self.check_threads(2, 3)

    def test_four_threads_calling_every_function(self):
        self.check_threads(4, 3)


if __name__ == "__main__":
    unittest.main()
