"""Soak under PyPy: 10^5 calls spread over all seven functions (with an error
path every eighth call), in ten rounds; resident memory must stop growing
once the first rounds have warmed the JIT and the allocator.

    pypy3 tests/leaks/soak.py    (mirlaxon for PyPy on PYTHONPATH)
"""
import gc
import sys

import mirlaxon

TOTAL_CALLS = 100_000
ROUNDS = 10
WARM_ROUNDS = 3
# A leaked result or argument copy costs at least 16 bytes per item: with 20
# items a call that is 2 MB per round, and the check sees it within rounds.
GROWTH_LIMIT_KB = 4096

SEPARATIONS = [0.05 * i for i in range(1, 21)]
BL, BF = [0.0, 0.25, 0.5, 0.75, 1.0], [1.0, 0.95, 0.85, 0.7, 0.4]
CALLS = [
    lambda: mirlaxon.witt_mao_magnification(SEPARATIONS, 1.0, 0.1),
    lambda: mirlaxon.integrated_witt_mao_magnification([2.5], 1.0, 1.0),
    lambda: mirlaxon.integrated_flux_map_witt_mao_magnification([2.5], 1.0, 1.0, BL, BF),
    lambda: mirlaxon.heyrovsky_magnification(0.7, 0.3, 1.0, 1.0),
    lambda: mirlaxon.integrated_heyrovsky_magnification(SEPARATIONS[:4], 1.0, 1.0),
    lambda: mirlaxon.integrated_flux_map_heyrovsky_magnification(SEPARATIONS[:4], 1.0, 1.0, BL, BF),
    lambda: mirlaxon.discrete_flux_map_heyrovsky_magnification(SEPARATIONS, 1.0, 1.0, BL, BF),
    lambda: mirlaxon.integrated_limb_law_heyrovsky_magnification(SEPARATIONS[:4], 1.0, 1.0, [0.0, 0.5], [0.3, 0.7]),
]
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
