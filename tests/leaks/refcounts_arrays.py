"""Reference counts of the array front under Debian's debug CPython: every
path of tests/leaks/refcounts.py through the front, and the front's own
(results as arrays, `out` filled, refused, and left alone on failure).

    python3-dbg tests/leaks/refcounts_arrays.py   (mirlaxon and mirlaxon_arrays for python3-dbg on PYTHONPATH)
"""
import os
import sys
from array import array

import mirlaxon_arrays

sys.modules["mirlaxon"] = mirlaxon_arrays  # the paths below call the front
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import refcounts  # noqa: E402

m = mirlaxon_arrays
OUT = array("d", [0.0, 0.0])
module_paths = refcounts.paths


def paths():
    return module_paths() + [
        ("array('d') in", lambda: m.integrated_heyrovsky_magnification(array("d", [0.5, 2.0]), 1.0, 1.0)),
        ("out filled", lambda: m.integrated_heyrovsky_magnification([0.5, 2.0], 1.0, 1.0, out=OUT)),
        ("out by keyword among others", lambda: m.witt_mao_magnification(rstar=1.0, l=[0.5, 2.0], re=1.0, out=OUT)),
        ("out=None", lambda: m.witt_mao_magnification([0.5, 2.0], 1.0, 1.0, out=None)),
        ("out of another length", lambda: m.witt_mao_magnification([0.5], 1.0, 1.0, out=OUT)),
        ("out not a buffer", lambda: m.witt_mao_magnification([0.5, 2.0], 1.0, 1.0, out=[0.0, 0.0])),
        ("out read-only", lambda: m.witt_mao_magnification([0.5], 1.0, 1.0, out=bytes(8))),
        ("out of floats", lambda: m.witt_mao_magnification([0.5], 1.0, 1.0, out=array("f", [0.0]))),
        ("out with a kernel failure", lambda: m.witt_mao_magnification([0.5, float("nan")], 1.0, 0.1, out=OUT)),
        ("out with an argument error", lambda: m.witt_mao_magnification([0.5, 2.0], "x", 0.1, out=OUT)),
        ("long call in pieces", lambda: m.witt_mao_magnification([2.0] * 20000, 1.0, 0.1)),
        ("gradient's outs filled", lambda: m.witt_mao_gradient([0.5, 2.0], 1.0, 1.0, out=[OUT] * 3)),
        ("components' outs filled",
         lambda: m.integrated_limb_law_heyrovsky_components([0.5, 2.0], 1.0, 1.0, [0.0, 1.0], out=(OUT, OUT))),
        ("outs too few", lambda: m.witt_mao_gradient([0.5, 2.0], 1.0, 1.0, out=(OUT, OUT))),
        ("outs not a tuple or list", lambda: m.witt_mao_gradient([0.5, 2.0], 1.0, 1.0, out=OUT)),
        ("an out of another length", lambda: m.witt_mao_gradient([0.5], 1.0, 1.0, out=(OUT, OUT, OUT))),
        ("outs with a kernel failure",
         lambda: m.witt_mao_gradient([0.5, float("nan")], 1.0, 0.1, out=(OUT, OUT, OUT))),
        ("gradient in pieces", lambda: m.witt_mao_gradient([2.0] * 20000, 1.0, 0.1)),
        ("components in pieces",
         lambda: m.integrated_limb_law_heyrovsky_components([40.0] * 200, 1.0, 0.1, [0.0, 1.0])),
    ]


refcounts.paths = paths

if __name__ == "__main__":
    if not hasattr(sys, "gettotalrefcount"):
        sys.exit("needs a debug build of CPython (python3-dbg)")
    print("array front, per path, growth of the total over %d calls:" % refcounts.CALLS)
    failures = refcounts.check_paths()
    for failure in failures:
        print("LEAK:", failure)
    sys.exit(1 if failures else 0)
