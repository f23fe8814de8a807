"""Soak of the array front under PyPy: 10^6 calls over all the functions,
sequences as lists and as array('d'), results new or written into `out`,
with a failure every eighth call, in ten rounds; after the first rounds have
warmed the JIT and the allocator, resident memory must stay within 1 MB.

    pypy3 tests/leaks/soak_arrays.py    (mirlaxon_arrays on PYTHONPATH)
"""
import gc
import os
import sys
from array import array

import mirlaxon_arrays as m

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402

TOTAL_CALLS = 1_000_000
ROUNDS = 10
WARM_ROUNDS = 3
GROWTH_LIMIT_KB = 1024

# Two separations beyond ten source radii, where every function is cheap.
SEPARATIONS = [12.0, 40.0]
AS_ARRAY = array("d", SEPARATIONS)
OUT = array("d", [0.0, 0.0])
CALLS = []
for name in function_surface.NAMES:
    CALLS.append(lambda name=name: function_surface.call(name, SEPARATIONS, module=m))
    if function_surface.is_sequence(name, "l"):
        arguments = function_surface.arguments(name, SEPARATIONS)[1:]
        f = getattr(m, name)
        CALLS.append(lambda f=f, arguments=arguments: f(AS_ARRAY, *arguments))
        CALLS.append(lambda f=f, arguments=arguments: f(AS_ARRAY, *arguments, out=OUT))
ERRORS = [
    lambda: m.witt_mao_magnification(SEPARATIONS + [float("nan")], 1.0, 0.1),        # RuntimeError
    lambda: m.witt_mao_magnification(SEPARATIONS, "x", 0.1),                           # TypeError
    lambda: m.witt_mao_magnification(SEPARATIONS, 1.0, 0.1, out=array("d")),           # ValueError (out)
    lambda: m.integrated_limb_law_heyrovsky_magnification(SEPARATIONS, 1.0, 1.0, [-1.0], [1.0]),  # ValueError
    lambda: m.integrated_flux_map_heyrovsky_magnification(SEPARATIONS, 1.0, 1.0, [0.5], []),      # ValueError
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
    for _ in range(ROUNDS):
        for i in range(per_round):
            if i % 8 == 7:
                try:
                    ERRORS[i % len(ERRORS)]()
                except (RuntimeError, TypeError, ValueError):
                    pass
            else:
                CALLS[i % len(CALLS)]()
        gc.collect()
        resident.append(resident_kb())
    growth = max(resident[WARM_ROUNDS:]) - resident[WARM_ROUNDS - 1]
    print("%d calls; resident kB after each round: %s" % (ROUNDS * per_round, resident))
    print("growth after round %d: %d kB (limit %d)" % (WARM_ROUNDS, growth, GROWTH_LIMIT_KB))
    sys.exit(0 if growth <= GROWTH_LIMIT_KB else 1)


if __name__ == "__main__":
    main()
