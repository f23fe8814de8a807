"""Microlensing light curve of a finite source star: point source, uniformly
bright disk, and limb-darkened disk.

A point lens passes the source with impact parameter u0 (in Einstein radii);
at time t the separation is u(t) = sqrt(u0**2 + ((t - t0) / tE)**2). The
module takes separations in source radii, so u is divided by rho = rstar/re.

    python light_curve.py [--plot FILE] [--no-table]

prints a short table and, where matplotlib is installed (Debian's
python3-matplotlib, for CPython), writes a PNG of the three curves and
their ratios to the point-source curve.
"""

import argparse
import math
import sys

import mirlaxon

RE, RSTAR = 1.0, 0.05          # only rho = RSTAR / RE matters
U0, T0, TE = 0.02, 0.0, 20.0   # impact parameter, time of closest approach, Einstein time (days)


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def light_curves(times):
    rho = RSTAR / RE
    u = [math.sqrt(U0 ** 2 + ((t - T0) / TE) ** 2) for t in times]
    l = [x / rho for x in u]  # in source radii
    return {
        "u": u,
        "point": [point_source(x) for x in u],
        "uniform": mirlaxon.witt_mao_magnification(l, RE, RSTAR),
        "limb": mirlaxon.integrated_heyrovsky_magnification(l, RE, RSTAR),
    }


def print_table(times, curves):
    print("rho = %g, u0 = %g, tE = %g d" % (RSTAR / RE, U0, TE))
    print("%8s %9s %12s %12s %12s %9s" % ("t (d)", "u", "point", "uniform", "limb-dark.", "limb/pt"))
    for i, t in enumerate(times):
        p = curves["point"][i]
        print("%8.2f %9.5f %12.6f %12.6f %12.6f %9.5f" % (
            t, curves["u"][i], p, curves["uniform"][i], curves["limb"][i], curves["limb"][i] / p))


def plot(path):
    """The three curves over ±0.2 tE, and each finite source over the point
    source. Returns False where matplotlib is not available."""
    try:
        import matplotlib
    except ImportError:
        return False
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.ticker

    times = [T0 + 0.4 * TE * (k / 800.0 - 0.5) for k in range(801)]
    curves = light_curves(times)
    figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(7, 6),
                                         gridspec_kw={"height_ratios": [2, 1]})
    top.semilogy(times, curves["point"], label="point source", color="0.4", linestyle="--")
    top.semilogy(times, curves["uniform"], label="uniform disk", color="tab:blue")
    top.semilogy(times, curves["limb"], label="limb-darkened disk (0.6)", color="tab:red")
    top.yaxis.set_major_formatter(matplotlib.ticker.ScalarFormatter())
    top.yaxis.set_minor_formatter(matplotlib.ticker.ScalarFormatter())
    top.set_ylabel("magnification")
    top.set_title("point lens, u0 = %g, ρ = %g, tE = %g d" % (U0, RSTAR / RE, TE))
    top.legend()
    for name, color in (("uniform", "tab:blue"), ("limb", "tab:red")):
        bottom.plot(times, [a / p for a, p in zip(curves[name], curves["point"])], color=color)
    bottom.axhline(1.0, color="0.4", linestyle="--", linewidth=0.8)
    bottom.set_ylabel("ratio to point source")
    bottom.set_xlabel("t − t0 (days)")
    figure.tight_layout()
    figure.savefig(path, dpi=120)
    return True


def main():
    parser = argparse.ArgumentParser(description="Light curve of a finite source star.")
    parser.add_argument("--plot", default="light_curve.png", help="PNG file to write")
    parser.add_argument("--no-table", action="store_true")
    args = parser.parse_args()
    if not args.no_table:
        times = [T0 + TE * k / 100.0 for k in range(-8, 9)]
        print_table(times, light_curves(times))
    if plot(args.plot):
        print("plot written to %s" % args.plot)
    else:
        print("(no matplotlib for %s: table only)" % sys.implementation.name)


if __name__ == "__main__":
    main()
