"""Run from outside the source tree with an installed mirlaxon: the array
front comes from the environment with its C library and header, gives the
module's values, and the C example builds and runs against the installed
library and header."""
import os
import subprocess
import sys
import tempfile
from array import array

import mirlaxon
import mirlaxon_arrays

library, header = mirlaxon_arrays.paths()
assert library.startswith(os.path.realpath(sys.prefix)) or library.startswith(sys.prefix), (library, sys.prefix)
assert os.path.isfile(library) and os.path.isfile(header), (library, header)
for stub in ("__init__.pyi", "py.typed"):
    assert os.path.isfile(os.path.join(os.path.dirname(library), stub)), stub

l = [0.5, 2.0, 30.0]
curve = mirlaxon_arrays.integrated_heyrovsky_magnification(l, 1.0, 0.1)
assert type(curve) is array and list(curve) == mirlaxon.integrated_heyrovsky_magnification(l, 1.0, 0.1), curve

example = sys.argv[1] if len(sys.argv) > 1 else None
if example:
    folder = os.path.dirname(library)
    with tempfile.TemporaryDirectory() as work:
        program = os.path.join(work, "light_curve")
        subprocess.run(["cc", "-std=c99", "-I" + folder, example, "-L" + folder, "-lmirlaxon",
                        "-Wl,-rpath," + folder, "-lm", "-o", program], check=True)
        subprocess.run([program], check=True, stdout=subprocess.DEVNULL)
print(f"{sys.implementation.name}: mirlaxon_arrays from {os.path.dirname(library)}: ok")
