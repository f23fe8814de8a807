"""Host threads calling the module at once: the integrals run without the
interpreter lock, and every thread must still get exactly the serial
results, its errors included."""

import threading
import unittest

import mirlaxon

BL = [0.0, 0.25, 0.5, 0.75, 1.0]
BF = [1.0, 0.95, 0.85, 0.7, 0.4]


def workload(seed):
    """Calls of every function, different per seed, with one failing call."""
    ls = [0.03 * seed + 0.11 * i for i in range(40)]
    eta = 0.5 + seed
    return [
        ("witt_mao_magnification", (ls, eta, 1.0)),
        ("integrated_witt_mao_magnification", (ls[:6], eta, 1.0)),
        ("integrated_flux_map_witt_mao_magnification", (ls[:6], eta, 1.0, BL, BF)),
        ("heyrovsky_magnification", (ls[3], 0.4, eta, 1.0)),
        ("integrated_heyrovsky_magnification", (ls, eta, 1.0)),
        ("integrated_flux_map_heyrovsky_magnification", (ls, eta, 1.0, BL, BF)),
        ("discrete_flux_map_heyrovsky_magnification", (ls, eta, 1.0, BL, BF)),
        ("integrated_limb_law_heyrovsky_magnification", (ls, eta, 1.0, [0.0, 0.5, 1.0], [0.2, 0.5, 0.3])),
        ("witt_mao_magnification", ([0.5, float("nan")] * 20, eta, 1.0)),  # RuntimeError
    ]


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
