#!/usr/bin/python3
"""Brute-force references for the ring family, by direct quadrature in mpmath.

Writes two tables under tests/data:

ring_reference.tsv  --  l, r, eta, value
    The point-lens magnification A(x) = (x^2 + 2 eta^2) / (x sqrt(x^2 + 4 eta^2))
    averaged over the circumference of a ring of radius r centred at distance l
    from the lens (all in source radii):  (1/pi) * int_0^pi A(|l - r e^{i phi}|) dphi,
    with the interval subdivided geometrically towards phi = 0 when the ring
    passes close to the lens.

flux_maps.tsv  --  the flux maps named in disk_reference.tsv: bl, bf

disk_reference.tsv  --  profile, l, eta, value
    The magnification of a whole source with a radial brightness profile B:
    the 2-D average of A over the unit disk weighted by B. The double integral
    is taken in polar coordinates centred on the lens, where the area element
    x dx cancels the 1/x singularity of A, so the integrand is bounded:
        2 int_0^{theta_max} dtheta int_{x_lo}^{x_hi} A(x) B(r(x, theta)) x dx
    divided by  2 pi int_0^1 B(r) r dr  (in closed form).

This is independent of the module's own method (closed forms in elliptic
integrals, a tanh-sinh table over the source radius).

    /usr/bin/python3 tools/make_ring_reference.py
"""

import multiprocessing
import os
import random

import mpmath as mp

DATA = os.path.join(os.path.dirname(__file__), "..", "tests", "data")
rng = random.Random(4041997)


def point_lens(x, eta):
    return (x * x + 2 * eta * eta) / (x * mp.sqrt(x * x + 4 * eta * eta))


def ring_average(l, r, eta):
    l, r, eta = mp.mpf(l), mp.mpf(r), mp.mpf(eta)

    def f(phi):
        return point_lens(mp.sqrt(l * l + r * r - 2 * l * r * mp.cos(phi)), eta)

    # Where the ring nearly touches the lens the integrand peaks at phi = 0
    # with a width of about |l - r| / max(l, r): subdivide towards it.
    points = [mp.mpf(0)]
    scale = abs(l - r) / max(l, r)
    while scale < mp.pi and scale > 0:
        points.append(scale)
        scale *= 8
    points.append(mp.pi)
    return mp.quad(f, points) / mp.pi


def linear_limb(r):
    return 1 - mp.mpf("0.6") * (1 - mp.sqrt(max(1 - r * r, 0)))


def limb_in_doubles(r):
    # The built-in profile as the module evaluates it, in doubles.
    return (1.0 - (1.0 - r * r) ** 0.5) * -0.6 + 1.0


# Flux maps: sample radii and brightness, interpolated linearly, zero outside.
FLUX_MAPS = {
    "uniform": ([0.5], [3.0]),
    "limb_11": ([k / 10 for k in range(11)], [limb_in_doubles(k / 10) for k in range(11)]),
    "inner_half": ([0.0, 0.5], [1.0, 0.5]),
}


def flux_map(name):
    bl, bf = FLUX_MAPS[name]
    bl, bf = [mp.mpf(x) for x in bl], [mp.mpf(y) for y in bf]

    def profile(r):
        if len(bl) == 1:
            return bf[0]
        if r < bl[0] or r > bl[-1]:
            return mp.mpf(0)
        for k in range(len(bl) - 1):
            if r <= bl[k + 1]:
                return bf[k] + (bf[k + 1] - bf[k]) * (r - bl[k]) / (bl[k + 1] - bl[k])
        return bf[-1]

    return profile, [b for b in bl if 0 < b < 1]


def profile_of(name):
    """B(r), its kinks inside (0, 1), and 2 pi int_0^1 B(r) r dr."""
    if name == "linear_limb":
        return linear_limb, [], 4 * mp.pi / 5
    brightness, kinks = flux_map(name)
    normalisation = 2 * mp.pi * mp.quad(lambda r: brightness(r) * r, [0] + kinks + [1])
    return brightness, kinks, normalisation


def disk_average(profile, l, eta):
    brightness, kinks, normalisation = profile_of(profile)
    l, eta = mp.mpf(l), mp.mpf(eta)

    def radial(theta):
        c, s = mp.cos(theta), mp.sin(theta)
        root = mp.sqrt(max(1 - l * l * s * s, 0))
        lo, hi = max(l * c - root, 0), l * c + root
        if hi <= lo:
            return mp.mpf(0)
        # Break the x range where it crosses a kink radius of the profile.
        points = {lo, hi}
        for b in kinks:
            disc = b * b - l * l * s * s
            if disc > 0:
                for x in (l * c - mp.sqrt(disc), l * c + mp.sqrt(disc)):
                    if lo < x < hi:
                        points.add(x)

        def f(x):
            r = mp.sqrt(max(x * x + l * l - 2 * x * l * c, 0))
            # A(x)·x, finite at the lens.
            return (x * x + 2 * eta * eta) / mp.sqrt(x * x + 4 * eta * eta) * brightness(r)

        return mp.quad(f, sorted(points))

    if l < 1:
        theta_max = mp.pi
    elif l == 1:
        theta_max = mp.pi / 2
    else:
        theta_max = mp.asin(1 / l)
    # Kink circles of radius b < l are tangent to a ray at asin(b/l).
    thetas = {mp.mpf(0), theta_max}
    for b in kinks:
        if b < l:
            thetas.add(mp.asin(b / l))
    return 2 * mp.quad(radial, sorted(thetas)) / normalisation


def disk_average_at_20_digits(profile, l, eta):
    mp.mp.dps = 20
    return disk_average(profile, l, eta)


def ring_cases():
    etas = [0.01, 0.1, 0.5, 1.0, 3.0, 10.0, 100.0]
    radii = [0.0, 0.02, 0.3, 0.5, 0.8, 1.0, 1.7, 4.0]
    separations = [0.0, 0.05, 0.3, 0.6, 1.0, 1.3, 2.0, 5.0, 30.0]
    for _ in range(160):
        l, r, eta = rng.choice(separations), rng.choice(radii), rng.choice(etas)
        if l == r:
            continue
        yield l, r, eta
    # Near the ring: on both sides, outside and inside the series band.
    for offset in (3e-3, 1e-4, 2e-6, 1.0000001e-6, 9e-7, 5e-7, 1e-7, 1e-8):
        for sign in (1, -1):
            for r, eta in ((0.5, 1.0), (1.0, 0.1), (0.8, 10.0), (0.3, 0.5)):
                yield r + sign * offset, r, eta
    # Rings smaller than the band around a lens near their centre.
    for l in (0.0, 1e-7, 1e-5, 1e-4):
        for r in (2e-7, 5e-7, 1e-5 + 5e-7, 1e-4 - 5e-7):
            if l != r:
                yield l, r, 1.0


def disk_cases():
    separations = [0.0, 0.05, 0.3, 0.7, 0.95, 0.999, 1.001, 1.05, 1.5, 2.0, 3.0, 10.0]
    for eta in (0.01, 0.1, 0.5, 1.0, 10.0, 100.0):
        for l in separations:
            yield "linear_limb", l, eta
    for name in FLUX_MAPS:
        for eta in (0.01, 1.0, 100.0):
            for l in (0.0, 0.3, 0.7, 0.95, 1.05, 2.0, 10.0):
                yield name, l, eta


def write(name, header, rows):
    path = os.path.join(DATA, name)
    with open(path, "w") as out:
        out.write("# %s\n# Generated by tools/make_ring_reference.py (mpmath %s); do not edit.\n"
                  % (header, mp.__version__))
        for row in rows:
            out.write("\t".join(r if isinstance(r, str) else repr(float(r)) for r in row) + "\n")
    print("wrote %d rows to %s" % (len(rows), os.path.normpath(path)))


def main():
    mp.mp.dps = 30
    rows = []
    seen = set()
    for l, r, eta in ring_cases():
        if (l, r, eta) in seen:
            continue
        seen.add((l, r, eta))
        rows.append((l, r, eta, ring_average(l, r, eta)))
    write("ring_reference.tsv", "l\tr\teta\tring-averaged point-lens magnification", rows)

    with multiprocessing.Pool() as pool:
        values = pool.starmap(disk_average_at_20_digits, list(disk_cases()))
    rows = [case + (value,) for case, value in zip(disk_cases(), values)]
    write("disk_reference.tsv", "profile\tl\teta\tprofile-weighted disk magnification", rows)
    write("flux_maps.tsv", "name\tbl (comma-separated)\tbf (comma-separated)",
          [(name, ",".join(repr(x) for x in bl), ",".join(repr(y) for y in bf))
           for name, (bl, bf) in FLUX_MAPS.items()])


if __name__ == "__main__":
    main()
