"""Magnification of a finite source star along a lens trajectory: point source,
uniformly bright disk, and limb-darkened disk.

A point lens passes the source with impact parameter u0 (in Einstein radii);
at time t the separation is u(t) = sqrt(u0**2 + ((t - t0) / tE)**2). The
module takes separations in source radii, so u is divided by rho = rstar/re.
"""

import math

import mirlaxon

RE, RSTAR = 1.0, 0.05          # only rho = RSTAR / RE matters
U0, T0, TE = 0.02, 0.0, 20.0   # impact parameter, time of closest approach, Einstein time (days)


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def main():
    rho = RSTAR / RE
    times = [T0 + TE * k / 20.0 for k in range(-10, 11)]
    u = [math.sqrt(U0 ** 2 + ((t - T0) / TE) ** 2) for t in times]
    l = [x / rho for x in u]
    disk = mirlaxon.witt_mao_magnification(l, RE, RSTAR)
    limb = mirlaxon.integrated_heyrovsky_magnification(l, RE, RSTAR)

    print("rho = %g, u0 = %g, tE = %g d" % (rho, U0, TE))
    print("%8s %9s %12s %12s %12s %8s" % ("t (d)", "u", "point", "uniform", "limb-dark.", "ratio"))
    for t, x, a, b in zip(times, u, disk, limb):
        p = point_source(x)
        print("%8.2f %9.5f %12.6f %12.6f %12.6f %8.5f" % (t, x, p, a, b, b / p))


if __name__ == "__main__":
    main()
