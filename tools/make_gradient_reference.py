#!/usr/bin/python3
"""High-precision references in mpmath for the magnification of a
limb-darkened source star by a single point lens and for its two
derivatives, written to tests/data/limb_law_gradients.tsv.

The quantities. With u the lens-to-centre distance and rho the source radius
(both in Einstein radii), l = u / rho the same distance in source radii and
eta = 1 / rho the Einstein radius in source radii,
    A(u, rho) = (1/N) int_{|x|<1} A_pl(|u e + rho x|) B(|x|) d^2x,
    A_pl(x) = (x^2 + 2) / (x sqrt(x^2 + 4)),  N = int_{|x|<1} B d^2x,
for brightness profiles B(r) = sum_k w_k mu^p_k, mu = sqrt(1 - r^2) (then
N = sum_k w_k 2 pi / (p_k + 2)). Tabulated: A, A - 1 (at full relative
precision, for the far field), dA/du at fixed rho and dA/drho at fixed u.
The laws: uniform, linear (0.6), quadratic (0.35, 0.25), square-root
(c = 0.3, d = 0.4), power-2 (c = 0.6, alpha = 0.6), four-parameter
(0.5, -0.3, 0.6, -0.2), and the single powers mu^p, p = 0.5, 0.6, 1, 1.5, 2
("power_p", the components of the others).

How. The average is linear in B, so each power mu^p is averaged on its own
and a law is the flux-weighted sum of its terms. For one power, in polar
coordinates about the source centre,
    A - 1 = (p + 2) int_0^1 r B(r) R0(l, r) dr,
R0 the average of A_pl - 1 over the thin ring of radius r (source radii)
centred l from the lens. The derivatives are not differences of that
value. dA/drho at fixed u mixes a derivative in l with one in eta:
    dA/du = eta dE/dl,  dA/drho = -eta (l dE/dl + eta dE/deta),  E = A - 1.
dE/deta is taken under the integral (the eta derivative of A_pl - 1 goes as
1/x at the lens like A_pl - 1 itself: dominated, no principal value), with
the ring average Re of d(A_pl - 1)/deta. dE/dl is taken by moving the source
rather than the lens: about the lens the brightness is B(|y - l e|), so
    dE/dl = (p + 2) int_0^1 r B'(r) Rc(l, r) dr   (p > 0),
    dE/dl = -2 Rc(l, 1)                           (p = 0, B a step),
Rc the cos moment of A_pl - 1 over the ring (phi from the point nearest the
lens). Differentiating R0 itself in l under the integral would leave a
1/(r - l) principal value at the ring through the lens; here every ring
moment is only logarithmically singular at r = l, every radial integral
absolutely convergent, and B' = -p r mu^(p-2) integrable at the limb. At
l = 1 the uniform term's Rc(1, 1) is the limb ring through the lens, and
dE/dl diverges like log|l - 1|: laws with a constant term have infinite
derivatives there (written -inf for dA/du, inf for dA/drho). At l = 0 every
ring is centred on the lens, Rc = 0 and dA/du = 0.

Quadrature. The ring moments (all three at one set of nodes) use the
substitution sin(phi/2) = c sinh(v), c = |l - r| / (2 sqrt(l r)), on
[0, pi/2], which makes the distance to the lens exactly |l - r| cosh(v) and
the peak of width ~c at phi = 0 a smooth function with its singularities
pi/2 off the real v axis, then Gauss-Legendre on unit intervals of v (and
on two intervals of [pi/2, pi] in phi), the number of nodes growing with the
precision. They agree with make_regime_reference's geometrically subdivided
tanh-sinh ring averages to the working precision. The radial integrals are
tanh-sinh (mp.quad) on pieces anchored at each singular end (the lens
radius r = l, or the limb, from which t = 1 - r = s^4 makes the root of mu^p
and of B' regular), graded geometrically towards it down to the scales of
eta and of |l - 1|; the offset from the anchor is the variable, so nodes
crowd onto it with full relative precision.

Precision. Every case is computed at 34 and at 44 digits (plus, for l > 1,
2 log10(l) + 2 more: far away dE/dl cancels to r/l of the average and
dA/drho is a 1/l^2 part of A - 1); the run stops a regime if any of A - 1,
dA/du, dA/drho of any law disagree beyond 1e-25 relative between the two,
and writes the higher. The worst disagreement over the table was
1.1e-28 (at l = 1e8; 4e-32 or less for l <= 1e5). 20 significant digits are printed.

Cross-check (/usr/bin/python3 tools/make_gradient_reference.py --cross-check): for
10 rows over the regimes and laws, among them a square-root law,
l = 0.999999 and 1.000001, l = 0.9999 and 1.0001, the far field, rho = 100
and 1e-4, the brute-force 2-D average over the source in polar coordinates
about the lens (make_regime_reference.source_excess) at 20 digits, and its
sixth-order central differences (step a 64th of the distance to the limb,
a 256th at l = 0 and l >= 5: step_divisor), in l for dA/du and in rho at
fixed u for dA/drho. Result (December 2026): A - 1 agrees to 6.5e-17 or
better, every derivative to 5.0e-11 or better (worst: power-2 law, l = 0.7,
rho = 100; 1.1e-12 at l = 0.999999 and rho = 100, 9.2e-13 at l = 1.000001
and rho = 1, 9.6e-13 at l = 0.9999, 9.3e-13 at l = 1.0001), the residue being
the differences' own truncation error (with a 64th of the distance at
l = 30 and 5 and, in rho, at l = 0, it was 4.3e-10, 1.6e-10 and 5.3e-10,
as 36 / 64^6 predicts; with a 256th, 1.3e-13 or better). At l = 0 the
brute-force slope in l is 3e-7 of the change over a step of 1/1024, i.e.
zero up to the step's h^3 term (A is even in l), as the table has it.
The cross-check takes about 20 minutes.

Regimes: eta = 100 (rho = 0.01) with every l of LS (0; 0.3, 0.7, 0.95
inside; 1 -+ 1e-4 and 1 -+ 1e-6; 1; 1.2; 2, 5; 10, 30, 1e3, 1e5, 1e8), and
five l each (inside, close to or on the limb, outside, far) for eta = 1e4,
1 and 0.01 (ETA_SPREAD): 32 regimes, each for every law, 352 rows.

Inputs: l and eta are the doubles written, taken exactly (mp.mpf of the
float); rho = 1 / eta and u = l / eta exactly, not rounded to doubles: the
caller passes re = eta, rstar = 1.

Run (about 36 minutes for the table, one process; run it under nice):
    /usr/bin/python3 tools/make_gradient_reference.py            # the table
    /usr/bin/python3 tools/make_gradient_reference.py --only 3,5 --keep
        # only those regimes (indices into regime_cases), the others kept
    /usr/bin/python3 tools/make_gradient_reference.py --cross-check

Columns of tests/data/limb_law_gradients.tsv (tab-separated, after '#'
header lines that also list each law's powers and weights):
    law, l, eta, A, A - 1, dA/du, dA/drho
"""

import argparse
import math
import os
import sys
import time

import mpmath as mp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_regime_reference as regimes  # noqa: E402  (geometric, breaks, quad, lens_excess)

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")
SCRIPT = "tools/make_gradient_reference.py"

# Digits kept in the table, and the two working precisions (before the far
# field's extra digits) at which every case is computed.
KEPT = 25
DIGITS = (34, 44)
PRINTED = 20

POWERS = (0.0, 0.5, 0.6, 1.0, 1.5, 2.0)


def _laws():
    laws = {}
    laws["uniform"] = ([0.0], [1.0])
    u = 0.6
    # I = 1 - u (1 - mu).
    laws["linear_0.6"] = ([0.0, 1.0], [1 - u, u])
    a, b = 0.35, 0.25
    # I = 1 - a (1 - mu) - b (1 - mu)^2 = (1 - a - b) + (a + 2b) mu - b mu^2.
    laws["quadratic_0.35_0.25"] = ([0.0, 1.0, 2.0], [1 - a - b, a + 2 * b, -b])
    c, d = 0.3, 0.4
    # I = 1 - c (1 - mu) - d (1 - sqrt(mu)).
    laws["square_root_0.3_0.4"] = ([0.0, 0.5, 1.0], [1 - c - d, d, c])
    c, alpha = 0.6, 0.6
    # I = 1 - c (1 - mu^alpha).
    laws["power2_0.6_0.6"] = ([0.0, alpha], [1 - c, c])
    a1, a2, a3, a4 = 0.5, -0.3, 0.6, -0.2
    # I = 1 - sum_k a_k (1 - mu^(k/2)).
    laws["four_parameter"] = ([0.0, 0.5, 1.0, 1.5, 2.0], [1 - a1 - a2 - a3 - a4, a1, a2, a3, a4])
    for p in (0.5, 1.0, 1.5, 2.0, 0.6):
        laws["power_%r" % p] = ([p], [1.0])
    return laws


LAWS = _laws()


# --------------------------------------------------------------------------
# The lens, in source radii: x from the lens, eta the Einstein radius.

def lens_excess(x2, eta):
    """A - 1 at x (from x^2), as a product of positive terms."""
    return regimes.lens_excess(x2, eta)


def lens_excess_d_eta(x2, eta):
    """d(A - 1)/d eta at fixed x: with s = x / eta, A'(s) = -8 / (s^2 (s^2 + 4)^(3/2)),
    and d/d eta = -(s / eta) d/ds, so 8 eta^3 / (x (x^2 + 4 eta^2)^(3/2)). Like
    A - 1 itself it goes as 1/x at the lens, integrable over the plane."""
    x = mp.sqrt(x2)
    w = x2 + 4 * eta * eta
    return 8 * eta ** 3 / (x * w * mp.sqrt(w))


def quad(f, points, reference=None):
    """int f over consecutive intervals between the points, each interval
    mapped onto [0, 1] and scaled by the size of f on it (as in
    make_regime_reference.quad), but the error judged against
    max(|result|, reference): a moment that cancels (the cos moment of a
    ring far from the lens, or of a ring of radius ~0) need only be as
    accurate as the plain average it is a part of."""
    total = error_sum = mp.mpf(0)
    for a, b in zip(points[:-1], points[1:]):
        width = b - a
        scale = mp.mpf(0)
        for w in (mp.mpf(1) / 2, mp.mpf(1) / 4, mp.mpf(3) / 4, mp.mpf(1) / 16, mp.mpf(15) / 16):
            scale = max(scale, abs(f(a + width * w)))
        if scale == 0:
            scale = mp.mpf(1)
        value, error = mp.quad(lambda tau: f(a + width * tau) / scale, [0, 1], error=True)
        total += value * scale * width
        error_sum += error * scale * abs(width)
    size = abs(total) if reference is None else max(abs(total), reference)
    if error_sum > mp.mpf(10) ** (8 - regimes.digits) * size:
        raise RuntimeError("quadrature error %s on %s over [%s, %s]" % (
            mp.nstr(error_sum, 3), mp.nstr(total, 10), mp.nstr(points[0], 10), mp.nstr(points[-1], 10)))
    return total


_GAUSS = {}


def gauss_legendre(n):
    """Gauss-Legendre nodes and weights on [0, 1], n points, at the current
    precision (Newton on the Legendre recurrence, 10 guard digits)."""
    key = (n, mp.mp.dps)
    if key not in _GAUSS:
        with mp.workdps(mp.mp.dps + 10):
            rule = []
            for i in range(1, n + 1):
                x = mp.cos(mp.pi * (i - mp.mpf(1) / 4) / (n + mp.mpf(1) / 2))
                for _ in range(100):
                    p0, p1 = mp.mpf(1), x
                    for k in range(2, n + 1):
                        p0, p1 = p1, ((2 * k - 1) * x * p1 - (k - 1) * p0) / k
                    dp = n * (x * p1 - p0) / (x * x - 1)
                    step = p1 / dp
                    x -= step
                    if abs(step) < mp.mpf(10) ** (-mp.mp.dps):
                        break
                p0, p1 = mp.mpf(1), x
                for k in range(2, n + 1):
                    p0, p1 = p1, ((2 * k - 1) * x * p1 - (k - 1) * p0) / k
                dp = n * (x * p1 - p0) / (x * x - 1)
                rule.append(((1 - x) / 2, 1 / ((1 - x * x) * dp * dp)))
        _GAUSS[key] = [(+x, +w) for x, w in rule]
    return _GAUSS[key]


def ring_nodes():
    """Nodes per Gauss-Legendre interval in the ring averages: the
    integrands are analytic at least pi/2 off each interval (below), which
    gives over 1.5 digits a node; the count grows with the precision, so the
    two precisions of each case use different rules and their agreement
    tests the quadrature too."""
    return int(math.ceil(0.8 * regimes.digits)) + 6


def ring_moments(l, r, eta, gap):
    """Three averages over a thin ring of radius r centred l from the lens,
    phi measured from the point nearest the lens, where
    x^2 = gap^2 + 4 l r sin^2(phi/2), gap = l - r (given, being known more
    accurately than r):
        R0 = (1/pi) int_0^pi (A - 1) dphi,
        Rc = (1/pi) int_0^pi (A - 1) cos(phi) dphi,
        Re = (1/pi) int_0^pi d(A - 1)/d eta dphi.

    On [0, pi/2], where the ring may pass within |gap| of the lens, the
    substitution sin(phi/2) = c sinh(v), c = |gap| / (2 sqrt(l r)), makes
    x = |gap| cosh(v) exactly and the peak of width ~c a smooth function of
    v: the integrands' singularities (x = 0, x^2 = -4 eta^2) lie at
    Im v = +-pi/2, whatever c and eta. [0, V] is cut into unit intervals.
    On [pi/2, pi] the plain phi is used, in two intervals."""
    if l == 0:
        # The ring is centred on the lens: A is constant on it and its cos
        # moment vanishes.
        x2 = r * r
        return lens_excess(x2, eta), mp.mpf(0), lens_excess_d_eta(x2, eta)
    g = abs(gap)
    eta2 = eta * eta
    rule = gauss_legendre(ring_nodes())
    sums = [mp.mpf(0), mp.mpf(0), mp.mpf(0)]

    def add(x, cos_phi, weight):
        x2 = x * x
        root = mp.sqrt(x2 + 4 * eta2)
        k = 4 * eta2 * eta2 / (x * root * (x2 + 2 * eta2 + x * root))
        sums[0] += weight * k
        sums[1] += weight * k * cos_phi
        sums[2] += weight * 8 * eta2 * eta / (x * root * root * root)

    sqrt_lr = mp.sqrt(l * r)
    c = g / (2 * sqrt_lr)
    top = mp.asinh(mp.sqrt(mp.mpf(1) / 2) / c)
    pieces = int(mp.ceil(top))
    for j in range(pieces):
        a = top * j / pieces
        width = top / pieces
        for node, w in rule:
            v = a + width * node
            # sinh from expm1: v is as small as 1e-8 for a ring far from
            # the lens (c large).
            em = mp.expm1(v)
            ev = 1 + em
            sinh, cosh = em * (em + 2) / (2 * ev), (ev + 1 / ev) / 2
            h = c * sinh
            half_cos = mp.sqrt((1 - h) * (1 + h))
            add(g * cosh, 1 - 2 * h * h, w * width * 2 * c * cosh / half_cos)
    quarter = mp.pi / 4
    four_lr = 4 * l * r
    for a in (2 * quarter, 3 * quarter):
        for node, w in rule:
            phi = a + quarter * node
            h = mp.sin(phi / 2)
            add(mp.sqrt(gap * gap + four_lr * h * h), 1 - 2 * h * h, w * quarter)
    return tuple(total / mp.pi for total in sums)


def check_rings():
    """The eta kernel against a numerical derivative of A - 1, and the three
    ring moments against make_regime_reference's way (tanh-sinh on
    intervals subdivided geometrically towards phi = 0), before any use."""
    regimes.set_digits(40)
    for x in ("1e-5", "0.3", "7"):
        for eta in ("0.01", "1", "100"):
            x, eta = mp.mpf(x), mp.mpf(eta)
            numerical = mp.diff(lambda e: lens_excess(x * x, e), eta)
            if relative_difference(numerical, lens_excess_d_eta(x * x, eta)) > mp.mpf("1e-35"):
                sys.exit("d(A - 1)/d eta at x=%s eta=%s is wrong" % (x, eta))
    for l, r, eta in ((0.3, 0.1, 1.0), (0.3, 0.2999999, 0.01), (1.000001, 1.0, 1e4),
                      (1e8, 0.7, 0.01), (0.95, 0.9499999999, 1e4), (0.5, 1e-30, 1.0)):
        l, r, eta = mp.mpf(l), mp.mpf(r), mp.mpf(eta)
        gap = mp.fsub(l, r, exact=True)
        points = regimes.breaks([mp.mpf(0), mp.pi] + regimes.geometric(mp.mpf(0), mp.pi, gap / max(l, r)))

        def x2(phi):
            return gap * gap + 4 * l * r * mp.sin(phi / 2) ** 2

        r0 = quad(lambda phi: lens_excess(x2(phi), eta), points) / mp.pi
        rc = quad(lambda phi: lens_excess(x2(phi), eta) * mp.cos(phi), points, reference=r0 * mp.pi) / mp.pi
        re = quad(lambda phi: lens_excess_d_eta(x2(phi), eta), points) / mp.pi
        new = ring_moments(l, r, eta, gap)
        if max(relative_difference(new[0], r0), abs(new[1] - rc) / r0,
               relative_difference(new[2], re)) > mp.mpf("1e-30"):
            sys.exit("ring moments at l=%s r=%s eta=%s disagree" % (l, r, eta))


# --------------------------------------------------------------------------
# The source: a sum of terms mu^p, mu = sqrt(1 - r^2), each averaged alone.
#
# For B = mu^p, normalisation N_p = 2 pi / (p + 2), and the excess of the mean
# magnification over 1, with the lens l source radii from the centre, is
#     E(l, eta) = (2 pi / N_p) int_0^1 r B(r) R0(l, r) dr.
# Its derivatives:
#   - in eta, under the integral: the eta derivative of A - 1 goes as 1/x at
#     the lens like A - 1 itself, so it is dominated and
#         dE/deta = (2 pi / N_p) int_0^1 r B(r) Re(l, r) dr;
#   - in l, by moving the source and not the lens: in coordinates about the
#     lens the source brightness is B(|y - l e|), so dE/dl is the average of
#     A - 1 against -e . grad B. With grad B = B'(r) x / r and
#     x . e = -r cos(phi) (phi from the point nearest the lens),
#         dE/dl = (2 pi / N_p) int_0^1 r B'(r) Rc(l, r) dr,
#     B'(r) = -p r mu^(p - 2), integrable at the limb for p > 0. For p = 0,
#     B is a step and grad B a line density on the limb:
#         dE/dl = -(2 pi / N_p) Rc(l, 1),
#     which diverges like log|l - 1| as the lens reaches the limb.
# Neither is a principal value: the ring averages at r -> l are only
# logarithmically singular, and the integrals over r are absolutely convergent.
# In Einstein radii, u = l / eta and rho = 1 / eta:
#     dA/du (rho fixed) = eta dE/dl,
#     dA/drho (u fixed) = -eta (l dE/dl + eta dE/deta).

def pieces(l, eta):
    """The radius range [0, 1] as pieces (anchor, direction, power, breaks):
    r = anchor + direction t, t = s^power for s between the breaks (from 0
    to length^(1/power)), the anchor being the
    singular end (the lens radius r = l, where the ring averages go as
    -log|r - l|, or the limb, where mu^p has a root), so that quadrature
    nodes crowd onto it with full relative precision. Breaks grade each
    piece geometrically towards its anchor, down to the scale of eta (the
    lens weight changes character at |r - l| ~ eta) and of the distance
    between the lens radius and the limb."""
    zero, half, one = mp.mpf(0), mp.mpf(1) / 2, mp.mpf(1)
    out = []

    def add(anchor, direction, length, scale):
        # From the limb, t = 1 - r = s^4: mu^p has the factor
        # t^(p/2) = s^(2p), and B'(r) dr, with t^(p/2 - 1) dt, becomes
        # 4 s^(2p - 1) ds, bounded for p >= 1/2, instead of an end point
        # singularity as strong as t^(-3/4).
        power = 4 if anchor == 1 else 1
        top = mp.root(length, power)
        points = regimes.breaks([zero, top] + regimes.geometric(zero, top, mp.root(scale, power) / 8))
        out.append((anchor, direction, power, points))

    if l == 0:
        add(zero, 1, half, min(eta, one))
        add(one, -1, half, one)
    elif l < 1:
        to_limb = mp.fsub(1, l, exact=True)
        scale = min(eta, to_limb, l)
        add(l, -1, l, scale)
        add(l, 1, to_limb / 2, scale)
        add(one, -1, to_limb / 2, scale)
    elif l == 1:
        add(one, -1, one, min(eta, one))
    else:
        beyond = mp.fsub(l, 1, exact=True)
        add(one, -1, half, min(eta, beyond))
        add(zero, 1, half, one)
    return out


def power_moments(l, eta, dps, kernels=("E", "Eeta", "El")):
    """For each power p in POWERS: {kernel: value} with E the excess of the
    mean magnification over 1, Eeta = dE/deta, El = dE/dl, for the source
    mu^p alone. The ring averages are shared by all powers and kernels."""
    regimes.set_digits(dps)
    l, eta = mp.mpf(l), mp.mpf(eta)
    results = {p: {} for p in POWERS}
    for anchor, direction, power, points in pieces(l, eta):
        rings = {}
        l_minus_anchor = mp.fsub(l, anchor, exact=True)
        one_minus_anchor = mp.fsub(1, anchor, exact=True)

        def ring(s):
            values = rings.get(s)
            if values is None:
                t = s ** power
                r = anchor + direction * t
                gap = l_minus_anchor - direction * t
                # 1 - r from the limb side without cancellation.
                q1 = one_minus_anchor - direction * t
                # dt/ds = power s^(power - 1) joins the weight r.
                values = (r * power * s ** (power - 1), q1 * (1 + r), r) + ring_moments(l, r, eta, gap)
                rings[s] = values
            return values

        for p in POWERS:
            p_mp = mp.mpf(p)

            def brightness(q):
                return mp.mpf(1) if p == 0 else mp.power(q, p_mp / 2)

            # v = (r dt/ds, 1 - r^2, r, R0, Rc, Re).
            integrands = {
                "E": lambda s: (lambda v: v[0] * brightness(v[1]) * v[3])(ring(s)),
                "Eeta": lambda s: (lambda v: v[0] * brightness(v[1]) * v[5])(ring(s)),
                # r B'(r) = -p r^2 mu^(p - 2).
                "El": lambda s: (lambda v: -p_mp * v[0] * v[2] * mp.power(v[1], p_mp / 2 - 1) * v[4])(ring(s)),
            }
            for kernel in kernels:
                if kernel == "El" and (p == 0 or l == 0):
                    continue
                value = quad(integrands[kernel], points) * abs(direction)
                results[p][kernel] = results[p].get(kernel, mp.mpf(0)) + value
    for p in POWERS:
        factor = mp.mpf(p) + 2
        for kernel in kernels:
            results[p][kernel] = factor * results[p].get(kernel, mp.mpf(0))
    if "El" in kernels:
        if l == 0:
            # The lens at the centre: E is even in l.
            for p in POWERS:
                results[p]["El"] = mp.mpf(0)
        elif l == 1:
            # The limb ring passes through the lens: the uniform term's
            # derivative diverges (to -infinity).
            results[0.0]["El"] = mp.mpf("-inf")
        else:
            r0, rc, re = ring_moments(l, mp.mpf(1), eta, mp.fsub(l, 1, exact=True))
            results[0.0]["El"] = -2 * rc
    return results


# --------------------------------------------------------------------------
# The cases and the table.

LS = (0.0, 0.3, 0.7, 0.95, 0.9999, 0.999999, 1.0, 1.000001, 1.0001, 1.2, 2.0, 5.0,
      10.0, 30.0, 1e3, 1e5, 1e8)
# eta = re / rstar: the Einstein radius in source radii (rho = 1 / eta).
ETA_ALL_LS = 100.0
ETA_SPREAD = {
    1e4: (0.0, 0.7, 1.0001, 30.0, 1e8),
    1.0: (0.3, 0.9999, 1.0, 1.000001, 1e5),
    0.01: (0.0, 0.7, 0.999999, 5.0, 1e8),
}


def regime_cases():
    cases = [(l, ETA_ALL_LS) for l in LS]
    for eta, ls in ETA_SPREAD.items():
        cases += [(l, eta) for l in ls]
    return cases


def extra_digits(l):
    """Far from the source dE/dl is a cos moment of A - 1 over rings, which
    cancels to r / l of the average, and dA/drho at fixed u is the
    finite-source part of A, a fraction ~1/l^2 of A - 1 that the sum
    l dE/dl + eta dE/deta leaves: 2 log10(l) more digits keep both."""
    return int(math.ceil(2 * math.log10(l))) + 2 if l > 1 else 0


def law_values(name, moments, l, eta):
    """A - 1, dA/du (rho fixed) and dA/drho (u fixed) of a law, from the
    moments of its terms: the average is linear in B, so each moment of the
    law is sum_k w_k N_k M_k / sum_k w_k N_k."""
    powers, weights = LAWS[name]
    l, eta = mp.mpf(l), mp.mpf(eta)
    flux = [mp.mpf(w) * 2 * mp.pi / (mp.mpf(p) + 2) for p, w in zip(powers, weights)]
    total = sum(flux)

    def law(kernel):
        return sum(f * moments[float(p)][kernel] for p, f in zip(powers, flux)) / total

    excess, e_l, e_eta = law("E"), law("El"), law("Eeta")
    return excess, eta * e_l, -eta * (l * e_l + eta * e_eta)


def relative_difference(a, b):
    if a == b:
        return mp.mpf(0)
    if mp.isinf(a) or mp.isinf(b):
        return mp.inf
    return abs(a - b) / max(abs(a), abs(b))


def compute_regime(l, eta):
    """Every law at (l, eta), at both precisions; returns the rows (at the
    higher precision) and the worst relative disagreement, or raises."""
    extra = extra_digits(l)
    low = power_moments(l, eta, DIGITS[0] + extra)
    high = power_moments(l, eta, DIGITS[1] + extra)
    mp.mp.dps = DIGITS[1] + extra
    rows, worst = [], mp.mpf(0)
    for name in LAWS:
        a = law_values(name, low, l, eta)
        b = law_values(name, high, l, eta)
        for x, y in zip(a, b):
            difference = relative_difference(x, y)
            worst = max(worst, difference)
            if difference > mp.mpf(10) ** (-KEPT):
                raise RuntimeError("%s l=%r eta=%r: %s at %d digits, %s at %d" % (
                    name, l, eta, mp.nstr(x, 30), DIGITS[0] + extra, mp.nstr(y, 30), DIGITS[1] + extra))
        excess, du, drho = b
        rows.append((name, l, eta, 1 + excess, excess, du, drho))
    return rows, worst


def text(x):
    if isinstance(x, str):
        return x
    if isinstance(x, float):
        return repr(x)
    if mp.isinf(x):
        return "inf" if x > 0 else "-inf"
    if x == 0:
        return "0.0"
    return mp.nstr(x, PRINTED, strip_zeros=False)


TABLE = "limb_law_gradients.tsv"


def write_table(rows, note):
    lines = ["# Limb-darkened source, single point lens: the magnification A and its derivatives.",
             "# Generated by %s (mpmath %s); do not edit." % (SCRIPT, mp.__version__),
             "# l: lens to source centre in source radii; eta = re / rstar, the Einstein radius in source",
             "#   radii; both exactly the doubles written. rho = 1 / eta and u = l / eta exactly (not rounded",
             "#   to doubles): call with re = eta, rstar = 1.",
             "# A - 1 at full relative precision; dA/du at fixed rho and dA/drho at fixed u, in Einstein radii.",
             "# %d significant digits printed, at least %d correct (two working precisions agree to 1e-%d)."
             % (PRINTED, KEPT, KEPT),
             "# At l = 1 the derivatives of a law with a constant term diverge (logarithmically):",
             "#   -inf and inf there. dA/du = 0 at l = 0 (A is even in l).",
             "# Laws, B(r) = sum_k weights[k] mu^powers[k], mu = sqrt(1 - r^2), weights the doubles written:"]
    for name, (powers, weights) in LAWS.items():
        lines.append("# law %s\tpowers %s\tweights %s" % (
            name, ",".join(repr(float(p)) for p in powers), ",".join(repr(float(w)) for w in weights)))
    if note:
        lines.append("# " + note)
    lines.append("# law\tl\teta\tA\tA - 1\tdA/du\tdA/drho")
    path = os.path.join(DATA, TABLE)
    with open(path, "w") as out:
        for line in lines:
            out.write(line + "\n")
        for row in rows:
            out.write("\t".join(text(x) for x in row) + "\n")


def kept_rows():
    """The rows of the table as written, grouped by regime (l, eta)."""
    kept = {}
    path = os.path.join(DATA, TABLE)
    if os.path.exists(path):
        with open(path) as table:
            for line in table:
                if not line.startswith("#"):
                    fields = line.rstrip("\n").split("\t")
                    kept.setdefault((float(fields[1]), float(fields[2])), []).append(fields)
    return kept


def main_table(selected, keep):
    """Computes the regimes (all, or the indices selected) and writes the
    table after each; with keep, the regimes already in the table and not
    selected are kept as written."""
    start = time.time()
    check_rings()
    by_regime, failed = {}, []
    cases = regime_cases()
    if keep:
        by_regime = {case: rows for case, rows in kept_rows().items()
                     if case in cases and (selected is None or cases.index(case) not in selected)}
    for k, (l, eta) in enumerate(cases):
        if selected is not None and k not in selected:
            continue
        t = time.time()
        try:
            rows, worst = compute_regime(l, eta)
        except RuntimeError as error:
            failed.append((l, eta))
            print("FAILED l=%r eta=%r: %s" % (l, eta, error), flush=True)
            continue
        by_regime[(l, eta)] = rows
        print("%2d l=%r eta=%r: worst disagreement %s, %.0f s (total %.0f s)"
              % (k, l, eta, mp.nstr(worst, 3), time.time() - t, time.time() - start), flush=True)
        rows = [row for case in cases if case in by_regime for row in by_regime[case]]
        missing = len(cases) - len(by_regime)
        write_table(rows, "" if missing == 0 else "%d of the %d regimes (l, eta) not computed" % (missing, len(cases)))
    print("done: %d regimes, %d rows, %.0f s; failed: %r"
          % (len(by_regime), sum(len(r) for r in by_regime.values()), time.time() - start, failed), flush=True)
    return not failed


# --------------------------------------------------------------------------
# Cross-check: brute-force 2-D averages, differentiated numerically.

CROSS_DIGITS = 20
# (law, l, eta): rows of the table, over the regimes and laws.
CROSS_CASES = [
    ("square_root_0.3_0.4", 0.3, 1.0),
    ("linear_0.6", 2.0, 100.0),
    ("four_parameter", 0.9999, 1.0),
    ("quadratic_0.35_0.25", 1.0001, 100.0),
    ("power2_0.6_0.6", 0.7, 0.01),
    ("uniform", 1.000001, 1.0),
    ("square_root_0.3_0.4", 0.999999, 0.01),
    ("four_parameter", 30.0, 1e4),
    ("power_1.5", 5.0, 100.0),
    ("linear_0.6", 0.0, 1e4),
]
# Sixth-order central difference of the first derivative.
STENCIL = ((1, mp.mpf(45)), (2, mp.mpf(-9)), (3, mp.mpf(1)))


def brute_excess(name, l, eta):
    """A - 1 by the 2-D average over the source in polar coordinates about
    the lens (make_regime_reference.source_excess), for a law of this table."""
    regimes.set_digits(CROSS_DIGITS)
    key = "gradient " + name
    regimes.LIMB_LAWS[key] = LAWS[name]
    return regimes.source_excess(key, l, eta)


def read_table():
    rows = {}
    with open(os.path.join(DATA, TABLE)) as table:
        for line in table:
            if not line.startswith("#"):
                f = line.rstrip("\n").split("\t")
                rows[(f[0], float(f[1]), float(f[2]))] = [mp.mpf(x) for x in f[3:]]
    return rows


def step_divisor(l):
    """The difference step is the distance to the nearest singularity over
    this. Near the limb A has a logarithmic singularity, and a sixth-order
    difference at a 64th of the distance errs by ~1e-11; at l = 0 (in rho)
    and far outside (in l and rho) A - 1 varies like a power, whose seventh
    derivative is 7 times larger against the first: a 64th errs by
    36 / 64^6 = 5e-10 there, a 256th by 1e-13."""
    return 256 if l == 0 or l >= 5 else 64


def cross_check(selected=None):
    """Each case's A - 1, dA/du and dA/drho against the brute-force average
    and its sixth-order central differences, the step a 64th of the
    distance of l to the limb (the nearest singularity of A in l), at
    CROSS_DIGITS digits; at l = 0 the slope in l is shown to vanish."""
    table = read_table()
    worst = mp.mpf(0)
    ok = True
    for k, (name, l, eta) in enumerate(CROSS_CASES):
        if selected is not None and k not in selected:
            continue
        t = time.time()
        mp.mp.dps = CROSS_DIGITS
        a_table, excess_table, du_table, drho_table = table[(name, l, eta)]
        L, ETA = mp.mpf(l), mp.mpf(eta)
        u, rho = L / ETA, 1 / ETA
        centre = brute_excess(name, L, ETA)
        if l == 0:
            h = mp.mpf(1) / 1024
            d1 = brute_excess(name, h, ETA) - centre
            d2 = brute_excess(name, 2 * h, ETA) - centre
            # E even in l: 4 d1 - d2 = O(h^4); a slope s would add 2 s h.
            slope = (4 * d1 - d2) / (2 * h)
            du = ETA * slope
            du_bound = abs(d1) / h * mp.mpf("1e-6")
            print("  l = 0: slope estimate %s against the change over a step %s"
                  % (mp.nstr(slope, 3), mp.nstr(d1 / h, 3)), flush=True)
            if abs(slope) > du_bound or du_table != 0:
                ok = False
            # A(l = u / rho, 1 / rho) with u = 0 stays at the lens.
            distance = mp.mpf(1)
        else:
            distance = abs(L - 1)
            h = distance / step_divisor(l)
            du = ETA * sum(c * (brute_excess(name, L + k * h, ETA) - brute_excess(name, L - k * h, ETA))
                           for k, c in STENCIL) / (60 * h)
        # rho changes l = u / rho by the factor rho / rho': the relative step
        # is a 64th of the relative distance to the limb.
        hr = rho * distance / (step_divisor(l) * max(L, mp.mpf(1)))

        def at_rho(r):
            return brute_excess(name, u / r, 1 / r)

        drho = sum(c * (at_rho(rho + k * hr) - at_rho(rho - k * hr)) for k, c in STENCIL) / (60 * hr)
        mp.mp.dps = CROSS_DIGITS
        d_excess = relative_difference(centre, excess_table)
        d_du = relative_difference(du, du_table) if l != 0 else mp.mpf(0)
        d_drho = relative_difference(drho, drho_table)
        case_worst = max(d_du, d_drho)
        worst = max(worst, case_worst)
        if case_worst > mp.mpf("1e-10") or d_excess > mp.mpf("1e-15"):
            ok = False
        print("%s l=%r eta=%r: A - 1 %s; dA/du %s (brute %s); dA/drho %s (brute %s); %.0f s" % (
            name, l, eta, mp.nstr(d_excess, 3), mp.nstr(du_table, 12), mp.nstr(d_du, 3),
            mp.nstr(drho_table, 12), mp.nstr(d_drho, 3), time.time() - t), flush=True)
    print("worst relative difference of a derivative: %s; %s" % (mp.nstr(worst, 3), "ok" if ok else "FAILED"),
          flush=True)
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cross-check", action="store_true",
                        help="compare with brute-force differences instead of writing the table")
    parser.add_argument("--only", type=str, default=None,
                        help="comma-separated indices of the regimes (in the order of regime_cases) to compute, "
                        "or with --cross-check of CROSS_CASES")
    parser.add_argument("--keep", action="store_true",
                        help="keep the regimes already in the table that are not computed")
    arguments = parser.parse_args()
    if arguments.cross_check:
        selected = None if arguments.only is None else {int(k) for k in arguments.only.split(",")}
        sys.exit(0 if cross_check(selected) else 1)
    selected = None if arguments.only is None else {int(k) for k in arguments.only.split(",")}
    sys.exit(0 if main_table(selected, arguments.keep) else 1)


if __name__ == "__main__":
    main()
