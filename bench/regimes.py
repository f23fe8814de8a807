"""Microseconds per separation of each function, by regime, for one build.

    pypy3 bench/regimes.py build-release/pypy [--quick]

A light curve spends most of its points in the far field: the regimes are
the lens inside the source, just outside it (1 < l < 3), further out
(3 ≤ l < 30) and far out (l ≥ 30, up to 1e5), at η = re/rstar = 1 and 100.
Run it on two builds to compare them; prints one markdown table.
"""
import math
import sys
import time

sys.path.insert(0, sys.argv[1])
import mirlaxon  # noqa: E402

QUICK = "--quick" in sys.argv
COUNT = 200 if QUICK else 2000
REGIMES = {"inside": (0.02, 0.98), "limb–3": (1.02, 3.0), "3–30": (3.0, 30.0), "far": (30.0, 1e5)}
ETAS = (1.0, 100.0)
BL = [i / 10 for i in range(11)]
BF = [1.0 - 0.6 * (1.0 - math.sqrt(1.0 - r * r)) for r in BL]


def separations(low, high):
    ratio = high / low
    return [low * ratio ** (i / (COUNT - 1)) for i in range(COUNT)]


CALLS = {
    "witt_mao_magnification": lambda l, eta: mirlaxon.witt_mao_magnification(l, eta, 1.0),
    "integrated_witt_mao_magnification": lambda l, eta: mirlaxon.integrated_witt_mao_magnification(l, eta, 1.0),
    "integrated_flux_map_witt_mao_magnification (11)":
        lambda l, eta: mirlaxon.integrated_flux_map_witt_mao_magnification(l, eta, 1.0, BL, BF),
    "heyrovsky_magnification (r = 0.5)":
        lambda l, eta: [mirlaxon.heyrovsky_magnification(x, 0.5, eta, 1.0) for x in l],
    "integrated_heyrovsky_magnification": lambda l, eta: mirlaxon.integrated_heyrovsky_magnification(l, eta, 1.0),
    "integrated_flux_map_heyrovsky_magnification (11)":
        lambda l, eta: mirlaxon.integrated_flux_map_heyrovsky_magnification(l, eta, 1.0, BL, BF),
    "discrete_flux_map_heyrovsky_magnification (11)":
        lambda l, eta: mirlaxon.discrete_flux_map_heyrovsky_magnification(l, eta, 1.0, BL, BF),
}


def per_separation(call, l, eta):
    slow = "integrated" in repr(call.__code__.co_names)
    sample = l[:: 20] if slow else l
    call(sample[:10], eta)  # warm up
    best = math.inf
    for _ in range(3):
        start = time.perf_counter()
        call(sample, eta)
        best = min(best, time.perf_counter() - start)
    return best / len(sample) * 1e6


print("| function | η | " + " | ".join(REGIMES) + " |")
print("|---|---:|" + "---:|" * len(REGIMES))
for name, call in CALLS.items():
    for eta in ETAS:
        cells = ["%.3g" % per_separation(call, separations(*REGIMES[r]), eta) for r in REGIMES]
        print("| %s | %g | %s |" % (name, eta, " | ".join(cells)))
