"""The seven magnifications written the way a numpy/scipy user would write
them: vectorised over every separation and every quadrature node at once,
with the same 385-node tanh-sinh rule, the same stopping test, the same
splits of the source radius and the same closed forms (scipy's Carlson
integrals for K, E and Π). It is the peer the extension is measured against
in bench/host_benchmark.py; it runs on CPython with Debian's python3-scipy.
"""
import pathlib
import re

import numpy as np
from scipy import special

ROOT = pathlib.Path(__file__).resolve().parent.parent
TWO_PI = 6.283185307179586
LINEAR_LIMB_NORMALISATION = 2.5132741228717936
RING_BAND = 1e-6
LIMB_BAND = 1e-5


def _load_nodes():
    text = (ROOT / "src/quadrature/node_levels.hpp").read_text()
    sizes = [int(n) for n in re.search(r"LEVEL_SIZES = \{([^}]*)\}", text).group(1).split(",")]
    pairs = re.findall(r"\{([-+0-9.e]+), ([-+0-9.e]+)\}", text)
    nodes = np.array([[float(w), float(x)] for w, x in pairs])
    return sizes, nodes[:, 0], nodes[:, 1]


LEVEL_SIZES, WEIGHTS, ABSCISSAE = _load_nodes()


def integrate(f, a, b, target_error=1e-16):
    """∫_a^b f for arrays of intervals (a[i], b[i]): all 385 nodes evaluated
    in one call of the vectorised f(x) with x of shape (intervals, nodes),
    then the levels summed with the scalar rule's stopping test."""
    a = np.asarray(a, dtype=float)[:, None]
    b = np.asarray(b, dtype=float)[:, None]
    half = (b - a) * 0.5
    mid = (a + b) * 0.5
    offsets = half * ABSCISSAE[None, :]
    x = np.concatenate([mid, mid + offsets, mid - offsets], axis=1)
    values = f(x)
    values = np.where(np.isfinite(values), values, 0.0)
    count = len(ABSCISSAE)
    right, left = values[:, 1:1 + count], values[:, 1 + count:]
    total = np.pi * values[:, 0]
    done = np.zeros(total.shape, dtype=bool)
    threshold = (target_error * 0.25) / half[:, 0]
    difference = np.full(total.shape, np.finfo(float).max)
    first = 0
    evaluations = 1
    for size in LEVEL_SIZES:
        level = (WEIGHTS[first:first + size] * (right[:, first:first + size] +
                                                 left[:, first:first + size])).sum(axis=1)
        first += size
        evaluations += 2 * size
        halved = total * 0.5
        new_total = halved + level
        previous = difference
        difference = np.abs(halved - level)
        total = np.where(done, total, new_total)
        if evaluations <= 13:
            continue
        with np.errstate(divide="ignore", invalid="ignore"):
            ratio = np.log(difference) / np.log(previous)
        error = np.where((ratio > 1.9) & (ratio < 2.1), difference * difference, difference)
        done |= (difference == 0.0) | (error < threshold)
    return half[:, 0] * total


def integrate_over_source(f, l, edges=()):
    """∫₀¹ split at the separation (inside the source) and the profile's
    edges; f(x, row) gets the row index of each interval's separation."""
    l = np.asarray(l, dtype=float)
    pieces = []
    for i, separation in enumerate(l):
        ends = sorted({0.0, 1.0, *[p for p in (separation, *edges) if 0.0 < p < 1.0]})
        pieces.extend((i, lo, hi) for lo, hi in zip(ends[:-1], ends[1:]))
    rows = np.array([p[0] for p in pieces], dtype=int)
    lo = np.array([p[1] for p in pieces])
    hi = np.array([p[2] for p in pieces])
    parts = integrate(lambda x: f(x, rows[:, None]), lo, hi)
    return np.bincount(rows, weights=parts, minlength=len(l))


def ellippi(n, m):
    c = 1.0 - m
    return special.elliprf(0.0, c, 1.0) + n / 3.0 * special.elliprj(0.0, c, 1.0, 1.0 - n)


def ring(l, r, eta):
    """Heyrovský's ring average, closed form with exact complements; the
    first-order series next to the ring."""
    l, r = np.broadcast_arrays(np.asarray(l, dtype=float), np.asarray(r, dtype=float))
    d = l - r
    s = l + r
    q = d * d + eta * eta * 4.0
    with np.errstate(divide="ignore", invalid="ignore"):
        n = 4.0 * l * r / (s * s)
        nc = (d / s) ** 2
        mc = (d * d + eta * eta * 4.0 * nc) / q
        k = special.elliprf(0.0, mc, 1.0)
        pi = k + n / 3.0 * special.elliprj(0.0, mc, 1.0, nc)
        closed = 4.0 / (s * np.sqrt(q)) * (2.0 * eta * eta * k + d * d * pi) / TWO_PI
        c1 = (1.0 - d / (l + l)) * (2.0 * eta / l)
        g = np.log(8.0 * eta * l / (np.abs(d) * np.sqrt(l * l + eta * eta)))
        c2 = eta * (2.0 * l * l + eta * eta) / (l * l * (l * l + eta * eta))
        series = (d * c2 + (c1 * g + 4.0 * np.arctan(l / eta))) / TWO_PI
    near = (np.abs(d) < RING_BAND) & ((np.abs(d) < 1e-3 * np.abs(l)) | (d == 0.0))
    return np.where(near, series, closed)


def linear_limb(r):
    with np.errstate(invalid="ignore"):
        return (1.0 - np.sqrt(1.0 - r * r)) * -0.6 + 1.0


def flux_map(bl, bf):
    bl = np.asarray(bl, dtype=float)
    bf = np.asarray(bf, dtype=float)
    return lambda r: np.interp(r, bl, bf, left=0.0, right=0.0)


def integrated_ring(l, eta, profile, normalisation, edges=()):
    l = np.asarray(l, dtype=float)
    integrand = lambda x, row: x * TWO_PI * ring(l[row], x, eta) * profile(x)
    return integrate_over_source(integrand, l, edges) / normalisation


def integrated_heyrovsky_magnification(l, re, rstar):
    return integrated_ring(l, re / rstar, linear_limb, LINEAR_LIMB_NORMALISATION)


def _flux_map_setup(bl, bf):
    profile = flux_map(bl, bf)
    edges = (bl[0], bl[-1]) if len(bl) >= 2 else ()
    norm = integrate_over_source(lambda x, row: x * TWO_PI * profile(x), [0.0], edges)[0]
    return profile, norm, edges


def integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf):
    profile, norm, edges = _flux_map_setup(bl, bf)
    return integrated_ring(l, re / rstar, profile, norm, edges)


def discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf):
    l = np.asarray(l, dtype=float)[:, None]
    return (ring(l, np.asarray(bl, dtype=float)[None, :], re / rstar) *
            np.asarray(bf, dtype=float)[None, :]).sum(axis=1)


def heyrovsky_magnification(l, r, re, rstar):
    return float(ring(l, r, re / rstar))


def uniform_disk(u, rho):
    """Witt & Mao's closed form at separations u (Einstein radii) for disks of
    radius rho; the limit at the limb."""
    u, rho = np.broadcast_arrays(np.asarray(u, dtype=float), np.asarray(rho, dtype=float))
    with np.errstate(divide="ignore", invalid="ignore"):
        rho2 = rho * rho
        d = u - rho
        s = rho + u
        q = np.sqrt(d * d + 4.0)
        n = rho * 4.0 * u / (s * s)
        m = (np.sqrt(n * 4.0) / q) ** 2
        c = 1.0 - m
        rf = special.elliprf(0.0, c, 1.0)
        e = rf - m / 3.0 * special.elliprd(0.0, c, 1.0)
        p = rf + n / 3.0 * special.elliprj(0.0, c, 1.0, 1.0 - n)
        b1 = s * q / (rho2 + rho2)
        b2 = d * ((u * u - rho2) * 0.5 + 4.0) / (rho2 * q)
        b3 = (rho2 + 1.0) * (2.0 * d * d) / (rho2 * s * q)
        general = (b1 * e - b2 * rf + b3 * p) / np.pi
        limb = (2.0 / rho + (rho2 + 1.0) / rho2 * (np.arcsin((rho2 - 1.0) / (rho2 + 1.0)) + np.pi / 2)) / np.pi
    return np.where(np.abs(d) < LIMB_BAND * np.abs(rho), limb, general)


def witt_mao_magnification(l, re, rstar):
    rho = rstar / re
    return uniform_disk(rho * np.asarray(l, dtype=float), rho)


CBRT_EPS = np.cbrt(np.finfo(float).eps)


def integrated_disk(l, rho, profile, normalisation, edges=()):
    l = np.asarray(l, dtype=float)

    def integrand(x, row):
        u = rho * l[row]
        h = (np.abs(x) + 1.0) * CBRT_EPS
        f = uniform_disk(u, rho * x)
        derivative = (uniform_disk(u, rho * (x + h)) - uniform_disk(u, rho * (x - h))) / (h + h)
        return x * TWO_PI * (f + x * 0.5 * derivative) * profile(x)

    return integrate_over_source(integrand, l, edges) / normalisation


def integrated_witt_mao_magnification(l, re, rstar):
    return integrated_disk(l, rstar / re, linear_limb, LINEAR_LIMB_NORMALISATION)


def integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf):
    profile, norm, edges = _flux_map_setup(bl, bf)
    return integrated_disk(l, rstar / re, profile, norm, edges)
