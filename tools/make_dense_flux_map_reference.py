#!/usr/bin/python3
"""Reference values in mpmath for a dense flux map (101 samples of the linear
limb-darkening profile), which the 2-D brute force of make_regime_reference.py
cannot afford: every sample radius is a kink circle, which breaks every ray
and the range of ray angles a hundred times.

A piecewise-linear profile allows a 1-D route instead. With pi r^2 F(r) the
integral of A over the disk of radius r about the source centre, the
profile-weighted mean is
    int_0^1 B(r) d(pi r^2 F) / N,   N = 2 pi int_0^1 B(r) r dr,
and integration by parts leaves
    pi B(1-) F(1) - pi sum_jumps b^2 F(b) (B(b+) - B(b-)) - pi sum_k s_k int_(a_k)^(b_k) r^2 F(r) dr,
s_k the slope of segment k: only the disk magnification F itself, by
Witt & Mao's closed form with mpmath's own elliptic integrals
(make_disk_closed_form_reference.magnification), integrated piece by piece
(split at the ring through the lens, r = l, where r^2 F has a kink of the
form x log x, and toward it on the scale of the Einstein radius). Nothing
here differentiates, and nothing is shared with the module's method (a
central difference of r^2 F, integrated by its own rules).

Every value is computed at 20 digits, every third and those on the limb
also at 28 (the run aborts if they differ by more than 1e-15), and the route
is first checked against the 2-D brute force of source_regimes.tsv on some
of its flux-map rows.

Writes tests/data/dense_flux_map_regimes.tsv  --  name, l, eta, value
and the map itself into tests/data/dense_flux_maps.tsv  --  name, bl, bf.

    /usr/bin/python3 tools/make_dense_flux_map_reference.py
"""
import multiprocessing
import os
import sys
import time

import mpmath as mp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_disk_closed_form_reference as closed_form  # noqa: E402
import make_regime_reference as regimes  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")
SCRIPT = "tools/make_dense_flux_map_reference.py"
DIGITS = (20, 28)
AGREE = mp.mpf("1e-15")

MAPS = dict(regimes.FLUX_MAPS)
MAPS["limb_101"] = ([k / 100 for k in range(101)], [regimes.limb_in_doubles(k / 100) for k in range(101)])

# Where the rules over the source radius run (the far field, from ten
# source radii out, takes the exact moments of the linear pieces instead).
LS = (0.0, 0.3, 0.5, 0.505, 0.7, 1.0, 1.05, 2.0)
ETAS = (0.01, 1.0, 1e4)


def segments_and_jumps(name):
    """The profile on [0, 1]: its linear segments (a, b, fa, fb) and its jumps
    (radius, B(b+) - B(b-)), the profile zero outside the samples."""
    bl, bf = MAPS[name]
    bl, bf = [mp.mpf(x) for x in bl], [mp.mpf(y) for y in bf]
    if len(bl) == 1:
        return [(mp.mpf(0), mp.mpf(1), bf[0], bf[0])], []
    segments, jumps = [], []
    for k in range(len(bl) - 1):
        a, b = bl[k], bl[k + 1]
        if a == b:
            if 0 < a < 1:
                jumps.append((a, bf[k + 1] - bf[k]))
            continue
        lo, hi = max(a, mp.mpf(0)), min(b, mp.mpf(1))
        if lo < hi:
            slope = (bf[k + 1] - bf[k]) / (b - a)
            segments.append((lo, hi, bf[k] + slope * (lo - a), bf[k] + slope * (hi - a)))
    if 0 < bl[0] < 1:
        jumps.append((bl[0], bf[0]))
    if 0 < bl[-1] < 1:
        jumps.append((bl[-1], -bf[-1]))
    return segments, jumps


def disk(l, r, eta):
    """F: the mean of A over the disk of radius r source radii about the
    source centre, the lens l source radii from it."""
    if l == 0:
        return mp.sqrt(1 + 4 * (eta / r) ** 2)
    if r < mp.mpf("1e-6") * l:
        # The closed form cancels to nothing for a disk this small beside the
        # lens; F is then A(l) to 1e-12, and r^2 F is below 1e-12 of l^2.
        u2 = (l / eta) ** 2
        return (u2 + 2) / mp.sqrt(u2 * (u2 + 4))
    if abs(r - l) > mp.mpf("1e-3") * l:
        # A disk much smaller than its distance cancels about (l/r)^2 in the
        # closed form: that many more digits.
        extra = 10 + (2 * int(mp.log10(l / r)) if r < l else 0)
        with mp.workdps(mp.mp.dps + extra):
            return +closed_form.magnification(l / eta, r / eta)
    if r != l:
        # Next to the limb 1 - n = ((l - r)/(l + r))^2 and 1 - m are lost in
        # n and m unless the precision covers their square.
        with mp.workdps(3 * mp.mp.dps):
            return +closed_form.magnification(l / eta, r / eta)
    # On the limb the closed form is 0 times infinity: its value a hair
    # outside, 10^(-1.5 digits) of the radius away: F moves by about that
    # times its logarithm, while at 4 times the digits (d/s)^2 keeps them all.
    digits = mp.mp.dps
    with mp.workdps(4 * digits):
        outside = 1 + mp.mpf(10) ** (-3 * digits // 2)
        return +closed_form.magnification(l / eta, r * outside / eta)


def mean(name, l, eta, dps):
    regimes.set_digits(dps)
    l, eta = mp.mpf(l), mp.mpf(eta)
    segments, jumps = segments_and_jumps(name)
    total = mp.mpf(0)
    end_value = [fb for a, b, fa, fb in segments if b == 1]
    if end_value:
        total += end_value[0] * disk(l, mp.mpf(1), eta)
    for b, step in jumps:
        total -= step * b * b * disk(l, b, eta)
    normalisation = mp.mpf(0)
    for a, b, fa, fb in segments:
        slope = (fb - fa) / (b - a)
        normalisation += 2 * ((fa - slope * a) * (b ** 2 - a ** 2) / 2 + slope * (b ** 3 - a ** 3) / 3)
        if slope == 0:
            continue
        points = [a, b]
        if a < l < b:
            points.append(l)
        scale = min(eta, mp.mpf(1)) / 8
        points += [p for p in regimes.geometric(l, a, scale) + regimes.geometric(l, b, scale) if a < p < b]
        total -= slope * regimes.quad(lambda r: r * r * disk(l, r, eta), sorted(set(points)))
    return total / normalisation


def row(case, recheck=True):
    name, l, eta = case
    values = [mean(name, l, eta, dps) for dps in (DIGITS if recheck else DIGITS[:1])]
    mp.mp.dps = DIGITS[1]
    if abs(values[0] / values[-1] - 1) > AGREE:
        sys.exit("%s l=%r eta=%r: the precisions disagree (%s, %s)" % (name, l, eta, values[0], values[1]))
    print("%s l=%r eta=%r: %s" % (name, l, eta, mp.nstr(values[-1], 17)), flush=True)
    return values[-1]


def first_precision_row(case):
    return row(case, recheck=False)


def main():
    start = time.time()
    table = {(fields[0], float(fields[1]), float(fields[2])): mp.mpf(fields[3])
             for fields in (line.rstrip("\n").split("\t")
                            for line in open(os.path.join(DATA, "source_regimes.tsv")))
             if not fields[0].startswith("#")}
    checks = [("limb_11", 0.3, 1.0), ("limb_11", 1.0, 0.01), ("limb_11", 2.0, 1e4), ("offset", 0.7, 1.0),
              ("step", 1.05, 0.01), ("inner_half", 0.0, 1.0), ("uniform", 0.3, 0.01)]
    cases = [("limb_101", l, eta) for eta in ETAS for l in LS]
    with multiprocessing.Pool(2) as pool:
        checked = pool.map(first_precision_row, checks)
        for case, value in zip(checks, checked):
            error = abs(value / table[case] - 1)
            print("%s: 1-D by parts against the 2-D brute force: %s" % (case, mp.nstr(error, 3)), flush=True)
            if error > mp.mpf("1e-14"):
                sys.exit("the two routes disagree")
        # Every third case, and those on the limb, re-checked at the second
        # precision.
        values = pool.starmap(row, [(case, k % 3 == 0 or case[1] == 1.0) for k, case in enumerate(cases)])
    with open(os.path.join(DATA, "dense_flux_map_regimes.tsv"), "w") as out:
        out.write("# name\tl\teta\tprofile-weighted disk magnification\n")
        out.write("# Generated by %s (mpmath %s); do not edit.\n" % (SCRIPT, mp.__version__))
        for (name, l, eta), value in zip(cases, values):
            out.write("%s\t%r\t%r\t%s\n" % (name, l, eta, mp.nstr(value, 17)))
    write_maps()
    print("%d rows, %.0f s" % (len(cases), time.time() - start))


def write_maps():
    bl, bf = MAPS["limb_101"]
    with open(os.path.join(DATA, "dense_flux_maps.tsv"), "w") as out:
        out.write("# name\tbl (comma-separated)\tbf (comma-separated)\n")
        out.write("# Generated by %s (mpmath %s); do not edit.\n" % (SCRIPT, mp.__version__))
        out.write("limb_101\t%s\t%s\n" % (",".join(repr(float(x)) for x in bl), ",".join(repr(float(y)) for y in bf)))


if __name__ == "__main__":
    main()
