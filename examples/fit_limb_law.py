"""Fitting a finite-source light curve with a free linear limb-darkening
coefficient, with scipy, and plotting it.

A synthetic light curve is made with the linear law u = 0.55 (powers [0, 1],
weights [1 - u, u]) and Gaussian noise of 0.2 %; then the source size rho,
the impact parameter u0, the time scale tE and u are fitted with
scipy.optimize.curve_fit, each model evaluation one call of
integrated_limb_law_heyrovsky_magnification for the whole curve.

    /usr/bin/python3 examples/fit_limb_law.py [--plot FILE]

needs Debian's python3-scipy (and python3-matplotlib for the plot), so it runs
under CPython; it prints the fitted values with their errors and exits with 1
if the truth is not recovered within three standard errors.
"""

import argparse
import math
import random
import sys

import mirlaxon
import numpy
from scipy.optimize import curve_fit

TRUTH = {"rho": 0.03, "u0": 0.01, "tE": 25.0, "u": 0.55}
T0 = 0.0
NOISE = 0.002  # relative


def magnification(times, rho, u0, tE, u):
    """The limb-darkened light curve: separations in source radii, re = 1."""
    l = [math.sqrt(u0 * u0 + ((t - T0) / tE) ** 2) / rho for t in times]
    return numpy.array(mirlaxon.integrated_limb_law_heyrovsky_magnification(l, 1.0, rho, [0.0, 1.0], [1.0 - u, u]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--plot", help="write the light curve and the fit to this PNG file")
    args = parser.parse_args()

    rng = random.Random(20261208)
    times = numpy.linspace(-1.5, 1.5, 600)
    true_curve = magnification(times, **TRUTH)
    observed = true_curve * numpy.array([1.0 + rng.gauss(0.0, NOISE) for _ in times])
    sigma = NOISE * true_curve

    start = [0.035, 0.012, 22.0, 0.4]
    fitted, covariance = curve_fit(magnification, times, observed, p0=start, sigma=sigma,
                                   absolute_sigma=True, bounds=([1e-4, 0.0, 1.0, 0.0], [1.0, 1.0, 100.0, 1.0]))
    errors = numpy.sqrt(numpy.diag(covariance))
    recovered = True
    for (name, truth), value, error in zip(TRUTH.items(), fitted, errors):
        within = abs(value - truth) <= 3.0 * error
        recovered = recovered and within
        print("%-4s truth %-7g fitted %.6g ± %.2g%s" % (name, truth, value, error, "" if within else "  (off)"))
    chi2 = float(numpy.sum(((observed - magnification(times, *fitted)) / sigma) ** 2))
    print("chi2 %.1f for %d points" % (chi2, len(times) - len(fitted)))

    if args.plot:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(7, 6), height_ratios=[3, 1])
        top.plot(times, observed, ".", markersize=2, color="0.5", label="synthetic data (0.2 % noise)")
        top.plot(times, magnification(times, *fitted), color="C3",
                 label="fit: u = %.3f ± %.3f, ρ = %.4f" % (fitted[3], errors[3], fitted[0]))
        top.set_ylabel("magnification")
        top.legend()
        bottom.plot(times, (observed / magnification(times, *fitted) - 1.0) * 100, ".", markersize=2, color="0.5")
        bottom.axhline(0.0, color="C3")
        bottom.set_xlabel("time (days)")
        bottom.set_ylabel("residual (%)")
        figure.tight_layout()
        figure.savefig(args.plot, dpi=110)
        print("wrote", args.plot)
    return 0 if recovered else 1


if __name__ == "__main__":
    sys.exit(main())
