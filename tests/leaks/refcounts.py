"""Reference counts under Debian's debug CPython (python3-dbg), whose
sys.gettotalrefcount() counts every live reference in the process.

1. Each path through the binding, successes and every kind of failure, is
   called many times; the total must not grow with the number of calls.
2. The whole Python suite runs several times in this process; after the
   first run (which fills the host's caches) the total must stay put.

    python3-dbg tests/leaks/refcounts.py     (mirlaxon built for python3-dbg on PYTHONPATH)
"""
import gc
import io
import os
import sys
import unittest

import mirlaxon

SUITE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "binding")
sys.path.insert(0, SUITE_DIR)
sys.path.insert(0, os.path.join(SUITE_DIR, os.pardir))
from test_hostile import FloatRaises, FloatReturnsStr, IterRaises  # noqa: E402
import function_surface  # noqa: E402

CALLS = 400
# A leak of one reference per call grows the total by CALLS; the host's own
# bookkeeping moves it by a few references at most.
PER_PATH_SLACK = 20
SUITE_RUNS = 4
SUITE_SLACK = 200

BL, BF = [0.0, 0.5, 1.0], [1.0, 0.8, 0.4]


def paths():
    """(description, call) for every outcome the binding can produce."""
    m = mirlaxon
    successes = [(name + " ok", lambda name=name: function_surface.call(name, [0.5, 2.0]))
                 for name in function_surface.NAMES]
    return successes + [
        ("limb law ValueError", lambda: m.integrated_limb_law_heyrovsky_magnification([2.0], 1.0, 1.0, [0.0, -1.0], [1.0, 1.0])),
        ("keywords ok", lambda: m.witt_mao_magnification(rstar=0.1, re=1.0, l=(0.5,))),
        ("buffer ok", lambda: m.witt_mao_magnification(memoryview(b"\0" * 16).cast("d"), 1.0, 0.1)),
        ("too many positional", lambda: m.witt_mao_magnification([0.5], 1.0, 0.1, 2.0)),
        ("missing", lambda: m.witt_mao_magnification([0.5])),
        ("unexpected keyword", lambda: m.witt_mao_magnification([0.5], 1.0, rho=0.1)),
        ("unexpected keyword without UTF-8", lambda: m.witt_mao_magnification([0.5], 1.0, **{"\ud800": 1})),
        ("multiple values", lambda: m.witt_mao_magnification([0.5], 1.0, 0.1, re=2.0)),
        ("str sequence", lambda: m.witt_mao_magnification("0.5", 1.0, 0.1)),
        ("not a sequence", lambda: m.witt_mao_magnification(0.5, 1.0, 0.1)),
        ("bad number (host TypeError)", lambda: m.witt_mao_magnification([0.5], "x", 0.1)),
        ("hook raises", lambda: m.witt_mao_magnification([0.5], FloatRaises(), 0.1)),
        ("hook returns str", lambda: m.witt_mao_magnification([FloatReturnsStr()], 1.0, 0.1)),
        ("iteration fails", lambda: m.witt_mao_magnification(IterRaises(), 1.0, 0.1)),
        ("bad item after good ones", lambda: m.witt_mao_magnification([0.5, 1.5, None], 1.0, 0.1)),
        ("huge int", lambda: m.heyrovsky_magnification(10 ** 400, 0.5, 1.0, 1.0)),
        ("kernel failure (RuntimeError)", lambda: m.witt_mao_magnification([float("nan")], 1.0, 0.1)),
        ("discrete kernel failure", lambda: m.discrete_flux_map_heyrovsky_magnification([0.5], 1.0, 1.0, [-1.0], [1.0])),
        ("gradient kernel failure", lambda: m.witt_mao_gradient([0.5, float("nan")], 1.0, 0.1)),
        ("gradient in pieces", lambda: m.integrated_limb_law_heyrovsky_gradient([40.0] * 200, 1.0, 0.1, [0.0], [1.0])),
        ("components in pieces", lambda: m.integrated_limb_law_heyrovsky_components([40.0] * 200, 1.0, 0.1, [0, 1])),
        ("components ValueError", lambda: m.integrated_limb_law_heyrovsky_components([2.0], 1.0, 1.0, [0.0, -1.0])),
        ("panic (lengths differ)", lambda: m.integrated_flux_map_heyrovsky_magnification([2.0], 1.0, 1.0, BL, BF[:2])),
    ]


def total_after(call, count):
    for _ in range(count):
        try:
            call()
        except BaseException:  # every failure path is part of the test
            pass
    gc.collect()
    return sys.gettotalrefcount()


def check_paths():
    failures = []
    stderr = sys.stderr
    sys.stderr = io.StringIO()  # the panic path writes a diagnostic per call
    try:
        for description, call in paths():
            total_after(call, 20)  # warm every cache the path touches
            before = total_after(call, 0)
            growth = total_after(call, CALLS) - before
            if abs(growth) > PER_PATH_SLACK:
                failures.append("%s: %+d references over %d calls" % (description, growth, CALLS))
            print("  %-34s %+d" % (description, growth), file=stderr)
    finally:
        sys.stderr = stderr
    return failures


def check_suite():
    # Debian's numpy imports into the debug interpreter, but its extension is
    # built without reference-count debugging: its own objects move the total
    # (six references per array created). The buffer tests run without it.
    sys.modules["numpy"] = None
    totals = []
    for _ in range(SUITE_RUNS):
        suite = unittest.defaultTestLoader.discover(SUITE_DIR, pattern="test_*.py")
        stream = io.StringIO()
        result = unittest.TextTestRunner(stream=stream, verbosity=0).run(suite)
        if not result.wasSuccessful():
            return ["the suite failed:\n" + stream.getvalue()]
        del suite, result, stream
        gc.collect()
        totals.append(sys.gettotalrefcount())
    print("  suite totals after each run:", totals)
    later = totals[1:]
    if max(later) - min(later) > SUITE_SLACK:
        return ["the suite's total moved by %d across runs 2-%d" % (max(later) - min(later), SUITE_RUNS)]
    return []


def main():
    if not hasattr(sys, "gettotalrefcount"):
        sys.exit("needs a debug build of CPython (python3-dbg)")
    print("per path, growth of the total over %d calls:" % CALLS)
    failures = check_paths()
    failures += check_suite()
    for failure in failures:
        print("LEAK:", failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
