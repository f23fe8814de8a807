"""Run from outside the source tree with an installed mirlaxon: the module
comes from the environment, works, and has its stubs beside it."""
import os
import sys

import mirlaxon

here = os.path.dirname(os.path.abspath(mirlaxon.__file__))
assert here.startswith(os.path.realpath(sys.prefix)) or here.startswith(sys.prefix), (here, sys.prefix)
for stub in ("mirlaxon.pyi", "py.typed", os.path.join("mirlaxon-stubs", "__init__.pyi")):
    assert os.path.isfile(os.path.join(here, stub)), stub

ring = mirlaxon.heyrovsky_magnification(2.0, 0.5, 1.0, 1.0)
assert abs(ring - 1.06794006184) < 1e-11, ring
curve = mirlaxon.integrated_heyrovsky_magnification([2.0, 3.0], 1.0, 1.0)
assert all(abs(a - b) < 1e-10 for a, b in zip(curve, [1.0749139411, 1.0193416042])), curve
print(f"{sys.implementation.name}: mirlaxon from {here}: ok")
