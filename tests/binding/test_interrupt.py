"""Long calls: they run without the interpreter lock, so that other threads
make progress meanwhile, and they still end on Ctrl-C, raising
KeyboardInterrupt with no result."""

import gc
import os
import signal
import threading
import time
import unittest

import mirlaxon

BL = [0.0, 0.5, 1.0]
BF = [1.0, 0.8, 0.3]

# Calls that take seconds when not interrupted: one with a costly separation
# (about a hundred microseconds), one with millions of cheap ones.
LONG_CALLS = [
    ("integrated_flux_map_witt_mao_magnification", 40_000, (BL, BF)),
    ("integrated_heyrovsky_magnification", 4_000_000, ()),
]


class InterruptTest(unittest.TestCase):
    def setUp(self):
        self.previous = signal.signal(signal.SIGINT, signal.default_int_handler)

    def tearDown(self):
        signal.signal(signal.SIGINT, self.previous)

    def test_ctrl_c_ends_a_long_call_within_half_a_second(self):
        for name, count, extra in LONG_CALLS:
            with self.subTest(name):
                function = getattr(mirlaxon, name)
                l = [0.2 + 0.8 * i / count for i in range(count)]
                sent = []
                finished = threading.Event()

                def interrupt():
                    time.sleep(0.3)
                    sent.append(time.monotonic())
                    os.kill(os.getpid(), signal.SIGINT)
                    finished.wait()  # a thread ending now would queue host work of its own

                # PyPy runs weakref callbacks and signal handlers at the same
                # points, and a KeyboardInterrupt raised inside a callback is
                # lost: let the callbacks of earlier garbage run first.
                gc.collect()
                for _ in range(1000):
                    pass
                sender = threading.Thread(target=interrupt)
                started = time.monotonic()
                seen = None
                try:
                    sender.start()
                    try:
                        function(l, 1.0, 0.1, *extra)
                    except KeyboardInterrupt:
                        seen = time.monotonic()
                    finished.set()
                    sender.join()
                except KeyboardInterrupt:  # handled only once the call had returned
                    finished.set()
                    sender.join()
                del sender
                if seen is None:
                    self.fail(f"{name} ran {time.monotonic() - started:.1f} s to its end")
                self.assertEqual(len(sent), 1)
                self.assertLess(seen - sent[0], 0.5)
                # The module is usable again, with the same results.
                self.assertEqual(mirlaxon.integrated_heyrovsky_magnification([0.5], 1.0, 0.1),
                                 mirlaxon.integrated_heyrovsky_magnification((0.5,), 1.0, 0.1))

    def test_a_long_call_in_pieces_gives_every_separation_its_own_value(self):
        # Long enough to be computed in several pieces of separations.
        l = [0.01 * i for i in range(150)] + [1.0, 40.0]
        odd = [float("nan"), -0.5]  # NaN from the ring family, a failure from the disks'
        for name, extra, fails in [
                ("integrated_flux_map_witt_mao_magnification", (BL, BF), True),
                ("integrated_witt_mao_magnification", (), True),
                ("integrated_limb_law_heyrovsky_magnification", ([0.0, 1.0], [0.4, 0.6]), False)]:
            with self.subTest(name):
                function = getattr(mirlaxon, name)
                whole = function(l * 4, 1.0, 0.1, *extra)
                alone = [function([x], 1.0, 0.1, *extra)[0] for x in l] * 4
                self.assertEqual(repr(whole), repr(alone))
                if fails:
                    # A failure in a late piece fails the whole call, as alone.
                    with self.assertRaisesRegex(RuntimeError, "^elliprj: Fail to converge$"):
                        function(l * 4 + odd, 1.0, 0.1, *extra)
                else:
                    self.assertEqual(repr(function(l * 4 + odd, 1.0, 0.1, *extra)),
                                     repr(alone + [function([x], 1.0, 0.1, *extra)[0] for x in odd]))

    def test_another_thread_runs_while_one_long_call_computes(self):
        # Under the sanitizers a separation costs ten times as much, and a
        # front whose pieces are joined in Python (cffi's under PyPy) waits
        # for this thread's busy loop to hand over the interpreter lock
        # between them: a tenth of the separations still runs for seconds.
        count = 800 if os.environ.get("MIRLAXON_SANITIZED") else 8_000
        l = [0.3 + 1e-5 * i for i in range(count)]
        window = {}

        def long_call():
            window["start"] = time.monotonic()
            mirlaxon.integrated_flux_map_witt_mao_magnification(l, 1.0, 0.1, BL, BF)
            window["end"] = time.monotonic()

        worker = threading.Thread(target=long_call)
        ticks = []
        worker.start()
        while worker.is_alive():
            ticks.append(time.monotonic())
        worker.join()
        duration = window["end"] - window["start"]
        self.assertGreater(duration, 0.2)
        inside = [window["start"]] + [t for t in ticks if window["start"] < t < window["end"]]
        inside.append(window["end"])
        longest_gap = max(b - a for a, b in zip(inside, inside[1:]))
        # Holding the lock, the call would stop this thread for all of it.
        self.assertLess(longest_gap, duration / 4, f"{len(inside)} ticks in {duration:.2f} s")


if __name__ == "__main__":
    unittest.main()
