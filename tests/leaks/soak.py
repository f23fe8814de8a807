"""Soak under PyPy: 10^5 calls spread over all the functions (with an error
path every eighth call), in ten rounds; resident memory must stop growing
once the first rounds have warmed the JIT and the allocator.

    pypy3 tests/leaks/soak.py    (mirlaxon for PyPy on PYTHONPATH)
"""
import os
import sys

import mirlaxon

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402
from resident import soak  # noqa: E402  (beside this file)

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


def main():
    sys.exit(soak(CALLS, ERRORS, TOTAL_CALLS, ROUNDS, WARM_ROUNDS, GROWTH_LIMIT_KB))


if __name__ == "__main__":
    main()
