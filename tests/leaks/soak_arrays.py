"""Soak of the array front under PyPy: 10^6 calls over all the functions,
sequences as lists and as array('d'), results new or written into `out`,
with a failure every eighth call, in ten rounds; after the first rounds have
warmed the JIT and the allocator, resident memory must stay within 1 MB.

    pypy3 tests/leaks/soak_arrays.py    (mirlaxon_arrays on PYTHONPATH)
"""
import os
import sys
from array import array

import mirlaxon_arrays as m

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
import function_surface  # noqa: E402
from resident import soak  # noqa: E402  (beside this file)

TOTAL_CALLS = 1_000_000
ROUNDS = 10
WARM_ROUNDS = 3
GROWTH_LIMIT_KB = 1024

# Two separations beyond ten source radii, where every function is cheap.
SEPARATIONS = [12.0, 40.0]
AS_ARRAY = array("d", SEPARATIONS)
CALLS = []
for name in function_surface.NAMES:
    CALLS.append(lambda name=name: function_surface.call(name, SEPARATIONS, module=m))
    if function_surface.is_sequence(name, "l"):
        arguments = function_surface.arguments(name, SEPARATIONS)[1:]
        f = getattr(m, name)
        CALLS.append(lambda f=f, arguments=arguments: f(AS_ARRAY, *arguments))
        out = function_surface.out_for(name, len(SEPARATIONS), lambda count: array("d", [0.0] * count))
        CALLS.append(lambda f=f, arguments=arguments, out=out: f(AS_ARRAY, *arguments, out=out))
ERRORS = [
    lambda: m.witt_mao_magnification(SEPARATIONS + [float("nan")], 1.0, 0.1),        # RuntimeError
    lambda: m.witt_mao_magnification(SEPARATIONS, "x", 0.1),                           # TypeError
    lambda: m.witt_mao_magnification(SEPARATIONS, 1.0, 0.1, out=array("d")),           # ValueError (out)
    lambda: m.integrated_limb_law_heyrovsky_magnification(SEPARATIONS, 1.0, 1.0, [-1.0], [1.0]),  # ValueError
    lambda: m.integrated_flux_map_heyrovsky_magnification(SEPARATIONS, 1.0, 1.0, [0.5], []),      # ValueError
    lambda: m.witt_mao_gradient(SEPARATIONS, 1.0, 0.1, out=(array("d", [0.0] * 2),) * 2),        # ValueError (out)
    lambda: m.integrated_limb_law_heyrovsky_components(SEPARATIONS, 1.0, 1.0, [0.5, -1.0]),        # ValueError
]


def main():
    sys.exit(soak(CALLS, ERRORS, TOTAL_CALLS, ROUNDS, WARM_ROUNDS, GROWTH_LIMIT_KB))


if __name__ == "__main__":
    main()
