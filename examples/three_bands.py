"""Light curves in three bands from one pass over the source, and each band's
limb darkening solved linearly.

A source star is darker at its limb in blue light than in red, so a lens that
crosses it gives a different light curve in each band. Every law of the form
B = sum_k w_k mu**p_k has the magnification

    A = sum_k w_k N_k A_k / sum_k w_k N_k,    N_k = 2 pi/(p_k + 2),

with A_k the magnification of the pure profile mu**p_k: one call of
integrated_limb_law_heyrovsky_components gives the rows A_k for powers 0, 1
and 2 at the shared epochs, and every quadratic law
B = 1 - a (1 - mu) - b (1 - mu)**2, weights [1 - a - b, a + 2 b, -b], is a
weighted sum of them. Here

1. the three bands' light curves are recombined from the rows and compared with
   three calls of integrated_limb_law_heyrovsky_magnification (to 1e-14
   relative), both ways timed;
2. with the geometry known, each band's flux F = fs A + fb is linear in the
   rows, F = sum_k beta_k A_k + fb with beta_k = fs w_k N_k / sum_j w_j N_j,
   so a linear least-squares fit gives beta and fb; then w_k is beta_k/N_k
   normalised to B(mu = 1) = sum_k w_k = 1, fs = sum_k beta_k, and a = w_1 +
   2 w_2, b = -w_2. Solved from exact fluxes the coefficients must come back
   to rounding; from noisy ones within three standard errors.

    /usr/bin/python3 examples/three_bands.py

needs Debian's python3-numpy; it exits with 1 if a check fails.
"""

import math
import random
import sys
import time

import mirlaxon
import numpy

# A transit of a giant source: rho = 0.05, the lens passing 0.4 source radii
# from its centre, 10-day time scale (times in days).
T0, U0, TE, RHO = 0.0, 0.02, 10.0, 0.05
POWERS = [0.0, 1.0, 2.0]
NORMS = numpy.array([2.0 * math.pi / (p + 2.0) for p in POWERS])
# Quadratic coefficients (a, b) and the source and blend fluxes per band.
BANDS = {"I": (0.30, 0.28, 1.00, 0.30), "V": (0.55, 0.20, 0.55, 0.20), "B": (0.75, 0.10, 0.25, 0.12)}
NOISE = 0.001  # relative to each band's flux
REPEAT = 20


def weights(a, b):
    """The quadratic law 1 - a (1 - mu) - b (1 - mu)**2 in powers 0, 1, 2 of mu."""
    return [1.0 - a - b, a + 2.0 * b, -b]


def best_time(work):
    best = math.inf
    for _ in range(REPEAT):
        began = time.perf_counter()
        result = work()
        best = min(best, time.perf_counter() - began)
    return result, best


def recombine(rows, w):
    """A = sum_k w_k N_k A_k / sum_k w_k N_k, summed in the law's order."""
    scaled = numpy.asarray(w) * NORMS
    return (scaled @ rows) / scaled.sum()


def solve_band(rows, flux, sigma):
    """beta_k and fb by weighted linear least squares, then (a, b, fs, fb) and
    the standard errors of a and b."""
    design = numpy.vstack([rows, numpy.ones(rows.shape[1])]).T / sigma[:, None]
    solution, *_ = numpy.linalg.lstsq(design, flux / sigma, rcond=None)
    covariance = numpy.linalg.inv(design.T @ design)
    beta, fb = solution[:3], solution[3]
    scale = numpy.sum(beta / NORMS)
    w = beta / NORMS / scale
    # dw_k/dbeta_j = (delta_kj - w_k)/(N_j scale); a = w_1 + 2 w_2, b = -w_2.
    dw = (numpy.eye(3) - w[:, None]) / (NORMS[None, :] * scale)
    dab = numpy.vstack([dw[1] + 2.0 * dw[2], -dw[2]])
    errors = numpy.sqrt(numpy.diag(dab @ covariance[:3, :3] @ dab.T))
    return (w[1] + 2.0 * w[2], -w[2], beta.sum(), fb), errors


def main():
    rng = random.Random(20261209)
    times = numpy.linspace(-0.6, 0.6, 1200)  # the crossing and a little either side
    tau = (times - T0) / TE
    l = numpy.sqrt(U0 * U0 + tau * tau) / RHO

    rows, rows_time = best_time(lambda: numpy.array(
        mirlaxon.integrated_limb_law_heyrovsky_components(l, 1.0, RHO, POWERS)))
    curves, recombine_time = best_time(lambda: {
        band: recombine(rows, weights(a, b)) for band, (a, b, _, _) in BANDS.items()})
    direct, direct_time = best_time(lambda: {
        band: numpy.array(mirlaxon.integrated_limb_law_heyrovsky_magnification(l, 1.0, RHO, POWERS, weights(a, b)))
        for band, (a, b, _, _) in BANDS.items()})

    ok = True
    print("%d epochs, peak magnification %s" % (len(l), ", ".join(
        "%s %.2f" % (band, curve.max()) for band, curve in curves.items())))
    difference = max(numpy.max(numpy.abs(curves[band] / direct[band] - 1.0)) for band in BANDS)
    ok = ok and difference <= 5e-14
    print("recombined against three direct calls: largest relative difference %.1e" % difference)
    print("one components call %.2f ms + recombination %.2f ms = %.2f ms; three direct calls %.2f ms"
          % (1e3 * rows_time, 1e3 * recombine_time, 1e3 * (rows_time + recombine_time), 1e3 * direct_time))

    print("%-4s %-10s %-33s %s" % ("band", "truth a, b", "solved from exact fluxes (error)",
                                    "from noisy fluxes (± standard error)"))
    for band, (a, b, fs, fb) in BANDS.items():
        flux = fs * direct[band] + fb
        sigma = NOISE * flux
        (ea, eb, efs, efb), _ = solve_band(rows, flux, sigma)
        exact = max(abs(ea - a), abs(eb - b), abs(efs - fs), abs(efb - fb))
        noisy = flux * numpy.array([1.0 + rng.gauss(0.0, NOISE) for _ in l])
        (na, nb, _, _), (sa, sb) = solve_band(rows, noisy, sigma)
        within = abs(na - a) <= 3.0 * sa and abs(nb - b) <= 3.0 * sb
        ok = ok and exact <= 1e-10 and within
        print("%-4s %.2f %.2f  %.10f %.10f (%.0e)  %.4f ± %.4f, %.4f ± %.4f%s" % (
            band, a, b, ea, eb, exact, na, sa, nb, sb, "" if within and exact <= 1e-10 else "  (off)"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
