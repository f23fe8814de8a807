"""Fitting a free-floating-planet event with analytic derivatives, with
scipy.optimize.least_squares, beside the same fit with finite differences.

A lens of planetary mass has an Einstein radius no larger than the source
star's, so the source radius rho is about 1 and the whole event is
finite-source: the light curve constrains rho and the limb darkening as much as
the geometry. A synthetic event with rho = 1 and a linear limb-darkening law
B = (1 - c) + c*mu (powers [0, 1], weights [1 - c, c]) is observed as flux
F = fs*A + fb with Gaussian noise; seven parameters are fitted, t0, u0, tE,
rho, c, fs and fb, with u(t) = sqrt(u0**2 + ((t - t0)/tE)**2).

The analytic Jacobian follows by the chain rule from two calls per step:
integrated_limb_law_heyrovsky_gradient gives A, dA/du at fixed rho and dA/drho
at fixed u, and integrated_limb_law_heyrovsky_components the pure profiles'
magnifications A_0 and A_1 (powers 0 and 1), from which dA/dc is exact:
with N_0 = pi and N_1 = 2*pi/3,

    A = ((1 - c) N_0 A_0 + c N_1 A_1) / ((1 - c) N_0 + c N_1)
    dA/dc = (N_1 (A_1 - A) - N_0 (A_0 - A)) / ((1 - c) N_0 + c N_1).

The same fit with two-point finite differences ('2-point') is run for
comparison; both report their evaluations, their time and the recovered
parameters.

    /usr/bin/python3 examples/fit_gradient.py

needs Debian's python3-scipy, so it runs under CPython. It exits with 1 if the
analytic Jacobian disagrees with central differences of the model, or if the
analytic fit does not recover every parameter within three standard errors.
"""

import math
import random
import sys
import time

import mirlaxon
import numpy
from scipy.optimize import least_squares

NAMES = ("t0", "u0", "tE", "rho", "c", "fs", "fb")
# Times in days: an Einstein-radius crossing of a few hours.
TRUTH = numpy.array([0.0, 0.3, 0.2, 1.0, 0.6, 1.0, 0.25])
# The start puts the lens on the other side of the source's path: the model
# sees only |u0|, with du/du0 = u0/u, so the fit may end at -u0 as well.
START = numpy.array([0.02, -0.45, 0.16, 0.8, 0.3, 0.85, 0.4])
# A lower bound keeps tE and rho positive (the model divides by them); u0 is
# free in sign, and c stays a physical law.
BOUNDS = ([-1.0, -2.0, 1e-3, 1e-3, 0.0, 0.0, -1.0], [1.0, 2.0, 10.0, 10.0, 1.0, 10.0, 10.0])
POWERS = [0.0, 1.0]
NORMS = [2.0 * math.pi / (p + 2.0) for p in POWERS]  # the pure profiles' fluxes
NOISE = 0.002  # flux units, the source's unmagnified flux being 1


def separations(times, t0, u0, tE):
    """u(t) in Einstein radii, and its partial derivatives by t0, u0 and tE."""
    tau = (times - t0) / tE
    u = numpy.sqrt(u0 * u0 + tau * tau)
    # At u = 0 (u0 = 0 and t = t0) A is stationary in u, so the derivatives
    # of u may be taken as 0 there: every numerator vanishes with u.
    safe = numpy.where(u > 0.0, u, 1.0)
    return u, -tau / (tE * safe), u0 / safe, -tau * tau / (tE * safe)


class Model:
    """The event's flux, and its Jacobian, counting the module's calls."""

    def __init__(self, times, flux, sigma):
        self.times, self.flux, self.sigma = times, flux, sigma
        self.calls = 0

    def magnification(self, t0, u0, tE, rho, c):
        u = separations(self.times, t0, u0, tE)[0]
        self.calls += 1
        return numpy.array(mirlaxon.integrated_limb_law_heyrovsky_magnification(
            u / rho, 1.0, rho, POWERS, [1.0 - c, c]))

    def residuals(self, x):
        t0, u0, tE, rho, c, fs, fb = x
        return (fs * self.magnification(t0, u0, tE, rho, c) + fb - self.flux) / self.sigma

    def jacobian(self, x):
        t0, u0, tE, rho, c, fs, fb = x
        u, du_dt0, du_du0, du_dtE = separations(self.times, t0, u0, tE)
        # l = u/rho: the module takes separations in source radii, and its
        # derivative by rho is the one at fixed u, as the chain rule here needs.
        l = u / rho
        a, da_du, da_drho = (numpy.array(row) for row in
                             mirlaxon.integrated_limb_law_heyrovsky_gradient(l, 1.0, rho, POWERS, [1.0 - c, c]))
        a0, a1 = (numpy.array(row) for row in mirlaxon.integrated_limb_law_heyrovsky_components(l, 1.0, rho, POWERS))
        self.calls += 2
        norm = (1.0 - c) * NORMS[0] + c * NORMS[1]
        da_dc = (NORMS[1] * (a1 - a) - NORMS[0] * (a0 - a)) / norm
        columns = [fs * da_du * du_dt0, fs * da_du * du_du0, fs * da_du * du_dtE, fs * da_drho, fs * da_dc,
                   a, numpy.ones_like(a)]
        return numpy.column_stack(columns) / self.sigma[:, None]


def central_jacobian(model, x):
    """The residuals' Jacobian by central differences, to check the chain rule."""
    columns = []
    for j in range(len(x)):
        h = 1e-6 * max(abs(x[j]), 0.1)
        up, down = x.copy(), x.copy()
        up[j] += h
        down[j] -= h
        columns.append((model.residuals(up) - model.residuals(down)) / (2.0 * h))
    return numpy.column_stack(columns)


def fit(model, jac, repeat=3):
    """The fit from START, its best time of a few and its calls into the module."""
    best = math.inf
    for _ in range(repeat):
        model.calls = 0
        began = time.perf_counter()
        result = least_squares(model.residuals, START, jac=jac, bounds=BOUNDS, x_scale="jac",
                               xtol=1e-12, ftol=1e-12, gtol=1e-12)
        best = min(best, time.perf_counter() - began)
    return result, best, model.calls


def main():
    rng = random.Random(20261209)
    times = numpy.linspace(-0.8, 0.8, 400)  # about four Einstein times either side
    truth_model = Model(times, None, None)
    true_flux = TRUTH[5] * truth_model.magnification(*TRUTH[:5]) + TRUTH[6]
    flux = true_flux + numpy.array([rng.gauss(0.0, NOISE) for _ in times])
    model = Model(times, flux, numpy.full_like(times, NOISE))

    # The chain rule against the model itself: columns of very different
    # size, so each is compared with its own largest entry.
    analytic, numeric = model.jacobian(START), central_jacobian(model, START)
    mismatch = max(numpy.max(numpy.abs(analytic[:, j] - numeric[:, j])) / numpy.max(numpy.abs(numeric[:, j]))
                   for j in range(len(NAMES)))
    print("Jacobian at the start: largest difference from central differences %.1e of a column" % mismatch)
    ok = mismatch <= 1e-6

    exact, exact_time, exact_calls = fit(model, model.jacobian)
    finite, finite_time, finite_calls = fit(model, "2-point")
    covariance = numpy.linalg.inv(exact.jac.T @ exact.jac)
    errors = numpy.sqrt(numpy.diag(covariance))
    # The model sees |u0|; report the fitted u0 with the truth's sign.
    for result in (exact, finite):
        result.x[1] = abs(result.x[1])

    print("%-4s %8s %24s %14s" % ("", "truth", "analytic Jacobian", "2-point"))
    for j, name in enumerate(NAMES):
        within = abs(exact.x[j] - TRUTH[j]) <= 3.0 * errors[j]
        ok = ok and within
        print("%-4s %8g %13.6g ± %-8.2g %14.6g%s" % (name, TRUTH[j], exact.x[j], errors[j], finite.x[j],
                                                    "" if within else "  (off)"))
    print("%-24s %12s %12s" % ("", "analytic", "2-point"))
    print("%-24s %12.2f %12.2f" % ("chi2 (%d degrees)" % (len(times) - len(NAMES)), 2.0 * exact.cost,
                                   2.0 * finite.cost))
    print("%-24s %12d %12d" % ("nfev", exact.nfev, finite.nfev))
    print("%-24s %12d %12d" % ("njev", exact.njev, finite.njev))
    print("%-24s %12d %12d" % ("calls into the module", exact_calls, finite_calls))
    print("%-24s %12.4f %12.4f" % ("time (s)", exact_time, finite_time))
    ok = ok and exact.success
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
