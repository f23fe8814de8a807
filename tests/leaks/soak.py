"""Soak under PyPy: 10^5 calls spread over all the functions (with an error
path every eighth call), in ten rounds; resident memory must stop growing
once the first rounds have warmed the JIT and the allocator.

    pypy3 tests/leaks/soak.py    (mirlaxon for PyPy on PYTHONPATH)
"""
import gc
import os
import sys

import mirlaxon

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402

TOTAL_CALLS = 100_000
ROUNDS = 10
WARM_ROUNDS = 3
# A leaked result or argument copy costs at least 16 bytes per item: with 20
# items a call that is 2 MB per round, and the check sees it within rounds.
GROWTH_LIMIT_KB = 4096

# One separation near the source and nineteen beyond ten source radii, where
# every function is cheap: twenty items per call at a few microseconds.
SEPARATIONS = [2.5] + [10.0 + 5.0 * i for i in range(19)]
CALLS = [lambda name=name: function_surface.call(name, SEPARATIONS) for name in function_surface.NAMES]
ERRORS = [
    lambda: mirlaxon.witt_mao_magnification(SEPARATIONS + [float("nan")], 1.0, 0.1),  # RuntimeError
    lambda: mirlaxon.witt_mao_magnification(SEPARATIONS, "x", 0.1),                   # TypeError
    lambda: mirlaxon.witt_mao_magnification(SEPARATIONS, 1.0, rho=0.1),               # TypeError
    lambda: mirlaxon.integrated_limb_law_heyrovsky_magnification(SEPARATIONS, 1.0, 1.0, [0.0], []),  # ValueError
]


def resident_kb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS in /proc/self/status")


def main():
    per_round = TOTAL_CALLS // ROUNDS
    resident = []
    calls = 0
    for _ in range(ROUNDS):
        for i in range(per_round):
            if i % 8 == 7:
                try:
                    ERRORS[i % len(ERRORS)]()
                except (RuntimeError, TypeError, ValueError):
                    pass
            else:
                CALLS[i % len(CALLS)]()
            calls += 1
        gc.collect()
        resident.append(resident_kb())
    growth = max(resident[WARM_ROUNDS:]) - resident[WARM_ROUNDS - 1]
    print("%d calls; resident kB after each round: %s" % (calls, resident))
    print("growth after round %d: %d kB (limit %d)" % (WARM_ROUNDS, growth, GROWTH_LIMIT_KB))
    sys.exit(0 if growth <= GROWTH_LIMIT_KB else 1)


if __name__ == "__main__":
    main()
