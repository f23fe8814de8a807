#!/usr/bin/python3
"""Brute-force references in mpmath for every regime of the three averages the
module computes: a uniform disk, a thin ring, and a whole source with a radial
brightness profile, from a lens deep inside the source to a lens 1e8 source
radii away, and from tiny to huge Einstein radii.

The point-lens magnification at distance x from the lens, with eta the
Einstein radius in the unit of x, is
    A(x) = (x^2 + 2 eta^2) / (x sqrt(x^2 + 4 eta^2)),
and, with no cancellation when A is close to 1,
    A(x) - 1 = 4 eta^4 / (x sqrt(x^2 + 4 eta^2) (x^2 + 2 eta^2 + x sqrt(x^2 + 4 eta^2))).
Every table therefore carries the excess A - 1 at full relative precision
next to the value itself. All inputs are doubles, and the references are for
exactly those doubles (mp.mpf of the float).

Writes under tests/data:

uniform_disk_regimes.tsv  --  rho, l, value, excess
    The mean of A over a uniformly bright disk of radius rho (Einstein radii,
    eta = 1) whose centre is rho*l from the lens. In polar coordinates about
    the lens the area element x dx dtheta makes the radial integral exact:
    (A(x) - 1) x has the primitive Q(x) = x sqrt(x^2 + 4)/2 - x^2/2
    = 2x / S(x), S(x) = sqrt(x^2 + 4) + x, so only a 1-D integral over the
    ray angle is left:  mean - 1 = (1/(pi rho^2)) int [Q(x_hi) - Q(x_lo)] dtheta.
    Writing Q = 1 - 4/S^2 turns the difference of the two ends of a chord
    into a product of positive terms (no cancellation at any distance).
    The value at l = 0 is sqrt(1 + 4/rho^2), which the integral must
    reproduce and which the table carries.

ring_regimes.tsv  --  l, r, eta, value, excess
    A averaged over a thin ring of radius r centred l from the lens (source
    radii): (1/pi) int_0^pi A(x(phi)) dphi with
    x^2 = (l - r)^2 + 4 l r sin^2(phi/2), subdivided geometrically towards
    phi = 0 where the ring passes close to the lens.

source_regimes.tsv  --  profile, l, eta, value, excess
    The mean of A over the unit disk weighted by a radial brightness profile
    B(r), the lens l source radii from the centre. The double integral is
    taken in polar coordinates about the lens, where x dx cancels the 1/x of
    A, the inner range broken where the ray crosses a circle at which B has a
    kink or a jump, the outer range at the angles where the ray is tangent to
    such a circle. The flux maps used are written to flux_maps_regimes.tsv.

limb_law_regimes.tsv  --  law, l, eta, value, excess
    The same average for limb-darkening laws, brightness profiles
    B(r) = sum_k weights[k] mu^powers[k] with mu = sqrt(1 - r^2): linear,
    quadratic, square-root, two-parameter power and four-parameter laws
    rewritten in that form. They are analytic inside the disk and singular
    only at the limb, where mu^(1/2) = (1 - r^2)^(1/4) has an infinite
    slope; the inner integrals end on the limb, and tanh-sinh quadrature
    takes such an end point without help. Their normalisation is exact:
    2 pi int_0^1 B r dr = sum_k weights[k] 2 pi / (powers[k] + 2), checked
    against a numerical integral first. The average being linear in B, each
    power mu^p is averaged on its own, and a law is the flux-weighted sum of
    its terms; some whole laws are recomputed directly as a check of it. The
    laws used are written to limb_laws.tsv.

Every disk and ring value is computed at 30 and at 45 digits, and a third of
the source values and of the limb-law terms (those at the limb among them)
at 20 and at 28 digits; the run aborts if two precisions disagree. Some
cases of the uniform-disk, source and limb-law tables are also recomputed in
a second coordinate system (polar about the source centre: the ring averages
above integrated over the radius) and compared. Before any of it, Q is
checked to be a primitive of (A - 1) x.

This is independent of the module's own method (closed forms in elliptic
integrals for disks and rings, quadrature over the source radius): here no
elliptic integral appears and the 2-D integrals are taken about the lens.

    /usr/bin/python3 tools/make_regime_reference.py              # every table
    /usr/bin/python3 tools/make_regime_reference.py --limb-laws  # the two limb-law tables only
    /usr/bin/python3 tools/make_regime_reference.py --limb-laws --missing-only
        # only the limb-law regimes not yet in limb_law_regimes.tsv, the rest kept
"""

import argparse
import multiprocessing
import os
import sys
import time

import mpmath as mp

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")
SCRIPT = "tools/make_regime_reference.py"

# Working precisions: each value at the first, re-checked at the second.
DIGITS_1D = (30, 45)
DIGITS_2D = (20, 28)
# Agreement demanded of the excess between the two precisions.
AGREE_1D = mp.mpf("1e-20")
AGREE_2D = mp.mpf("1e-16")
# The working precision of the case being computed. mp.quad raises mp.dps by
# 20 bits while it evaluates the integrand, so inside a nested integral
# mp.mp.dps no longer says which precision the result is wanted to.
digits = 30


def set_digits(dps):
    global digits
    digits = dps
    mp.mp.dps = dps


def geometric(start, end, scale, ratio=8):
    """Points start + scale * ratio^k (k = 0, 1, ...) strictly between start
    and end (end may lie on either side): break points crowding towards
    start, for an integrand with a feature of width `scale` there."""
    points = []
    length = abs(end - start)
    direction = 1 if end > start else -1
    if scale <= 0:
        return points
    step = mp.mpf(scale)
    while step < length:
        points.append(start + direction * step)
        step *= ratio
    return points


def breaks(points):
    """Sorted distinct break points for quad(). Crossings that coincide up to
    rounding (a kink circle through the lens, say) are kept: the sliver
    between them is integrated like any other interval, and its error
    estimate counts only at its own, negligible, size."""
    return sorted(set(points))


def quad(f, points, select=None):
    """int f over consecutive intervals between the points, interval by interval
    (with select given, the integrand over [a, b] is select(a, b) instead).

    mp.quad judges convergence by an absolute error estimate, so an integrand
    of size 1e-40, or an interval of length 1e-13, would be taken to a few
    digits only; and one interval holding a 1e12 peak would leave the others
    to an absolute, not relative, tolerance. Each interval is therefore mapped
    onto [0, 1] and the integrand divided by its size there. The run aborts if
    the error estimates, added up, exceed 10^(8 - digits) of the result."""
    total = error_sum = mp.mpf(0)
    for a, b in zip(points[:-1], points[1:]):
        if select is not None:
            f = select(a, b)
        width = b - a
        scale = mp.mpf(0)
        for w in (mp.mpf(1) / 2, mp.mpf(1) / 4, mp.mpf(3) / 4, mp.mpf(1) / 16, mp.mpf(15) / 16):
            scale = max(scale, abs(f(a + width * w)))
        if scale == 0:
            scale = mp.mpf(1)
        value, error = mp.quad(lambda tau: f(a + width * tau) / scale, [0, 1], error=True)
        total += value * scale * width
        error_sum += error * scale * abs(width)
    if error_sum > mp.mpf(10) ** (8 - digits) * abs(total):
        raise RuntimeError("quadrature error %s on %s over [%s, %s]" % (
            mp.nstr(error_sum, 3), mp.nstr(total, 10), mp.nstr(points[0], 10), mp.nstr(points[-1], 10)))
    return total


def lens_excess(x2, eta):
    """A(x) - 1 from x^2, as a product of positive terms."""
    x = mp.sqrt(x2)
    root = mp.sqrt(x2 + 4 * eta * eta)
    return 4 * eta ** 4 / (x * root * (x2 + 2 * eta * eta + x * root))


def lens_excess_times_x(x, eta):
    """(A(x) - 1) x, finite at the lens (it tends to eta)."""
    root = mp.sqrt(x * x + 4 * eta * eta)
    return 4 * eta ** 4 / (root * (x * x + 2 * eta * eta + x * root))


# --------------------------------------------------------------------------
# Uniform disk, Einstein radii.

def big_s(x):
    return mp.sqrt(x * x + 4) + x


def primitive_q(x):
    """Q(x) = x sqrt(x^2 + 4)/2 - x^2/2 = 2x / S(x), a primitive of (A - 1) x."""
    return 2 * x / big_s(x)


def chord_q(lo, hi, width):
    """Q(hi) - Q(lo) for 0 <= lo < hi, width = hi - lo given separately.
    With Q = 1 - 4/S^2 the difference is 4 (S_hi^2 - S_lo^2) / (S_lo S_hi)^2,
    and S_hi - S_lo = width (1 + (lo + hi) / (sqrt(lo^2 + 4) + sqrt(hi^2 + 4)))."""
    s_lo, s_hi = big_s(lo), big_s(hi)
    ds = width * (1 + (lo + hi) / (mp.sqrt(lo * lo + 4) + mp.sqrt(hi * hi + 4)))
    return 4 * ds * (s_lo + s_hi) / (s_lo * s_hi) ** 2


def check_primitive():
    """Q is relied upon as a primitive of (A - 1) x and chord_q as the
    difference of its ends: check both numerically before use."""
    set_digits(40)
    for x in ("1e-5", "0.3", "1", "2", "7.5", "70"):
        x = mp.mpf(x)
        derivative = mp.diff(primitive_q, x)
        if relative(derivative, lens_excess_times_x(x, 1)) > mp.mpf("1e-30"):
            sys.exit("Q'(%s) = %s is not (A - 1) x" % (x, derivative))
        for hi in (x * mp.mpf("1.5"), x + 3):
            direct = primitive_q(hi) - primitive_q(x)
            # The direct difference loses the digits of Q(x) ~ 1 against it.
            if relative(chord_q(x, hi, hi - x), direct) > mp.mpf("1e-30") / direct:
                sys.exit("chord_q(%s, %s) disagrees with the difference of Q" % (x, hi))


def uniform_disk_excess(rho, l):
    """Mean of A - 1 over a disk of radius rho centred rho*l from the lens."""
    rho, l = mp.mpf(rho), mp.mpf(l)
    half_pi = mp.pi / 2
    if l > 1:
        # Lens outside. Parametrise the rays by t in [0, pi/2] with
        # u sin(theta) = rho cos(t): the ray at t meets the limb at
        # x = rho (sqrt(L + sin^2 t) -+ sin t), L = l^2 - 1, the chord is
        # 2 rho sin t, and dtheta = sin t / sqrt(L + sin^2 t) dt. The square
        # root of the tangent ray (theta -> theta_max) is gone, and no
        # difference of close numbers is left.
        big_l = mp.fsub(l, 1, exact=True) * (l + 1)

        def f(t):
            s = mp.sin(t)
            root = mp.sqrt(big_l + s * s)
            hi = rho * (root + s)
            lo = rho * big_l / (root + s)
            return chord_q(lo, hi, 2 * rho * s) * s / root

        # The rays near the tangent change on the scale sqrt(L) when the lens
        # is close to the limb.
        points = breaks([mp.mpf(0), half_pi] + geometric(mp.mpf(0), half_pi, mp.sqrt(big_l) / 8))
        total = 2 * quad(f, points)
    elif l == 1:
        # Lens on the limb: the ray at theta leaves the disk at 2 rho cos(theta).
        def f(theta):
            return primitive_q(2 * rho * mp.cos(theta))

        scale = min(1 / rho, mp.mpf(1)) / 8
        points = breaks([mp.mpf(0), half_pi] + geometric(half_pi, mp.mpf(0), scale))
        total = 2 * quad(f, points)
    else:
        # Lens inside: every ray starts at the lens and leaves the disk at
        # x = rho (l cos + sqrt(cos^2 + (1 - l^2) sin^2)), rationalised when
        # cos < 0. Close to the limb the exit distance changes on the scale
        # sqrt(1 - l^2) around theta = pi/2.
        m = mp.fsub(1, l, exact=True) * (1 + l)

        def f(theta):
            c, s = mp.cos(theta), mp.sin(theta)
            root = mp.sqrt(c * c + m * s * s)
            hi = rho * (l * c + root) if c >= 0 else rho * m / (root - l * c)
            return primitive_q(hi)

        width = mp.sqrt(m) / 8
        points = breaks([mp.mpf(0), half_pi, mp.pi] + geometric(half_pi, mp.mpf(0), width)
                        + geometric(half_pi, mp.pi, width))
        total = 2 * quad(f, points)
    return total / (mp.pi * rho * rho)


def uniform_disk_row(rho, l, dps):
    set_digits(dps)
    excess = uniform_disk_excess(rho, l)
    if l == 0:
        # The closed form at the centre: sqrt(1 + 4/rho^2) - 1 = 4 / (rho (sqrt(rho^2 + 4) + rho)).
        r = mp.mpf(rho)
        exact = 4 / (r * (mp.sqrt(r * r + 4) + r))
        if abs(excess - exact) > AGREE_1D * exact:
            raise RuntimeError("uniform disk rho=%r l=0: %s against the closed form %s"
                               % (rho, mp.nstr(excess, 25), mp.nstr(exact, 25)))
        excess = exact
    return excess


def uniform_disk_brute_row(rho, l, dps):
    set_digits(dps)
    return uniform_disk_brute(rho, l)


def uniform_disk_cases():
    rhos = [1e-6, 1e-4, 1e-3, 0.01, 0.1, 0.5, 1.0, 2.0, 10.0, 100.0]
    ls = [0.0, 1e-9, 1e-3, 0.3, 0.5, 0.9, 0.999, 1 - 1e-6, 1 - 1e-9, 1 - 1e-12, 1.0,
          1 + 1e-12, 1 + 1e-9, 1 + 1e-6, 1.001, 1.1, 2.0, 5.0, 10.0, 20.0, 29.0, 31.0,
          50.0, 100.0, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8]
    return [(rho, l) for rho in rhos for l in ls]


def uniform_disk_brute(rho, l):
    """Second method: polar coordinates about the disk centre, the ring
    average of A - 1 (with eta = 1, lengths being in Einstein radii)
    integrated over the radius with weight 2 r / rho^2."""
    rho = mp.mpf(rho)
    u = rho * mp.mpf(l)

    def term(middle):
        return lambda r, gap: r * ring_excess(u, r, 1, gap)

    return 2 * about_centre(u, rho, [], term) / (rho * rho)


def about_centre(u, top, points, term):
    """int_0^top term(r_mid)(r, u - r) dr for an integrand singular (like the
    ring average, as -log|r - u|) at the radius u of the lens, with breaks at
    the given radii. term(r_mid) is the integrand on the piece holding r_mid.

    Either side of r = u the integral runs over the offset g = |r - u| from
    the lens radius, so that quadrature nodes crowd onto the singularity with
    full relative precision and the ring next to a node never falls onto the
    lens through a rounding of r."""
    zero = mp.mpf(0)

    def side(length, sign, cuts):
        # r = u + sign g for g in [0, length].
        def select(a, b):
            integrand = term(u + sign * (a + b) / 2)
            return lambda g: integrand(u + sign * g, -sign * g)

        return quad(None, breaks([zero, length] + cuts), select)

    if 0 < u <= top:
        total = side(u, -1, [u - b for b in points if 0 < b < u])
        if u < top:
            total += side(top - u, 1, [b - u for b in points if u < b < top])
        return total

    def select(a, b):
        integrand = term((a + b) / 2)
        return lambda r: integrand(r, u - r)

    cuts = [b for b in points if 0 < b < top]
    if u > top:
        # Outside, the ring average still grows like -log(u - r) towards top.
        cuts += geometric(top, zero, (u - top) / 8)
    return quad(None, breaks([zero, top] + cuts), select)


# --------------------------------------------------------------------------
# Thin ring, source radii.

def ring_excess(l, r, eta, gap=None):
    """(1/pi) int_0^pi (A - 1)(x(phi)) dphi for a ring of radius r centred l
    from the lens. x^2 = (l - r)^2 + 4 l r sin^2(phi/2) has no cancellation
    even where the ring passes within 1e-12 of the lens. The gap l - r may be
    passed when it is known more accurately than r itself."""
    l, r, eta = mp.mpf(l), mp.mpf(r), mp.mpf(eta)
    if gap is None:
        gap = mp.fsub(l, r, exact=True)
    gap2, four_lr = gap * gap, 4 * l * r

    def f(phi):
        h = mp.sin(phi / 2)
        return lens_excess(gap2 + four_lr * h * h, eta)

    # The integrand peaks at phi = 0 with a width of about |l - r| / max(l, r).
    scale = abs(gap) / max(l, r)
    points = breaks([mp.mpf(0), mp.pi] + geometric(mp.mpf(0), mp.pi, scale))
    return quad(f, points) / mp.pi


def ring_row(l, r, eta, dps):
    set_digits(dps)
    return ring_excess(l, r, eta)


def ring_cases():
    cases = []
    # Close to the ring, on both sides.
    for r in (0.001, 0.3, 0.5, 1.0, 4.0):
        for eta in (0.01, 1.0, 100.0, 1e6):
            for delta in (1e-12, 1e-10, 1e-8, 1e-7, 5e-7, 9.99e-7, 1e-6, 2e-6, 1e-4, 1e-2):
                cases += [(r + delta, r, eta), (r - delta, r, eta)]
    # Far field.
    for r in (0.0, 0.3, 1.0):
        for eta in (0.01, 1.0, 100.0, 1e4, 1e6):
            for l in (3.0, 10.0, 29.0, 31.0, 100.0, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8):
                cases.append((l, r, eta))
    # A lens inside the ring.
    for r in (0.5, 1.0):
        for l in (0.0, 1e-9, 0.25):
            for eta in (0.01, 1.0, 1e6):
                cases.append((l, r, eta))
    # Big rings passing close to the lens.
    for r in (1e3, 1e5):
        for l in (r + 1e-6 * r, r - 1e-6 * r, r * (1 + 1e-9), r * (1 - 1e-9)):
            cases.append((l, r, 1.0))
    unique = []
    for case in cases:
        if case[0] != case[1] and case[0] >= 0 and case not in unique:
            unique.append(case)
    return unique


# --------------------------------------------------------------------------
# Whole source with a radial profile, source radii.

LIMB_COEFFICIENT = mp.mpf("0.6")


def limb_in_doubles(r):
    # The linear limb-darkening profile as the module evaluates it, in doubles.
    return (1.0 - (1.0 - r * r) ** 0.5) * -0.6 + 1.0


# Flux maps: brightness at sample radii, linear in between, zero outside the
# samples; a single sample is that constant everywhere, and two samples at one
# radius are a jump.
FLUX_MAPS = {
    "uniform": ([0.5], [3.0]),
    "limb_11": ([k / 10 for k in range(11)], [limb_in_doubles(k / 10) for k in range(11)]),
    "inner_half": ([0.0, 0.5], [1.0, 0.5]),
    "step": ([0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 0.4, 0.4]),
    "offset": ([0.2, 0.6, 0.9], [0.5, 1.0, 0.3]),
}


# Limb-darkening laws as sums of powers of mu = sqrt(1 - r^2): name ->
# (powers, weights). Each weight is the double that the law's coefficients
# give when the law is expanded, evaluated in doubles in the order written.
def _limb_laws():
    laws = {}
    for name, u in (("linear_0", 0.0), ("linear_0.3", 0.3), ("linear_0.6", 0.6),
                    ("linear_0.9", 0.9), ("linear_1", 1.0)):
        # I = 1 - u (1 - mu).
        laws[name] = ([0, 1], [1 - u, u])
    a, b = 0.4, 0.25
    # I = 1 - a (1 - mu) - b (1 - mu)^2 = (1 - a - b) + (a + 2b) mu - b mu^2.
    laws["quadratic_0.4_0.25"] = ([0, 1, 2], [1 - a - b, a + 2 * b, -b])
    c, d = 0.3, 0.4
    # I = 1 - c (1 - mu) - d (1 - sqrt(mu)).
    laws["square_root_0.3_0.4"] = ([0, 0.5, 1], [1 - c - d, d, c])
    for name, c, alpha in (("power2_0.6_0.5", 0.6, 0.5), ("power2_0.6_2.5", 0.6, 2.5)):
        # I = 1 - c (1 - mu^alpha).
        laws[name] = ([0, alpha], [1 - c, c])
    a1, a2, a3, a4 = 0.5, 0.2, 0.3, -0.1
    # I = 1 - sum_k a_k (1 - mu^(k/2)).
    laws["four_parameter"] = ([0, 0.5, 1, 1.5, 2], [1 - a1 - a2 - a3 - a4, a1, a2, a3, a4])
    return laws


LIMB_LAWS = _limb_laws()


def law_brightness(powers, weights):
    """B as a function of (r^2, q = 1 - r^2) for a law sum_k w_k mu^p_k.

    A power that is a multiple of 1/2 is taken as an integer power of
    mu^(1/2) = q^(1/4): two square roots per node rather than a logarithm and
    an exponential per term. mu^0 is 1 even on the limb, where mu = 0."""
    terms = [(mp.mpf(w), mp.mpf(p)) for p, w in zip(powers, weights)]

    def brightness(r2, q):
        # q may round to just below zero at a node next to the limb.
        q = max(q, 0)
        quarter = mp.sqrt(mp.sqrt(q))
        total = mp.mpf(0)
        for w, p in terms:
            if p == 0:
                total += w
            elif 2 * p == int(2 * p):
                total += w * quarter ** int(2 * p)
            else:
                total += w * mp.power(q, p / 2)
        return total

    return brightness


def law_normalisation(powers, weights):
    """2 pi int_0^1 B r dr: with r dr = -mu dmu, each term gives 2 pi w / (p + 2)."""
    return sum(2 * mp.pi * mp.mpf(w) / (mp.mpf(p) + 2) for p, w in zip(powers, weights))


def profile_of(name):
    """The profile as pieces: piece(r) is B as a function of (r^2, 1 - r^2)
    on the analytic piece holding the radius r, so that an interval known to
    lie between two kink circles never sees the neighbouring piece through a
    rounding of r at its ends. Also returned: the radii in (0, 1) where B has
    a kink or a jump, and the normalisation 2 pi int_0^1 B(r) r dr."""
    if isinstance(name, float) or name in LIMB_LAWS:
        # A number stands for the single term mu^name of the limb laws.
        powers, weights = ([name], [1.0]) if isinstance(name, float) else LIMB_LAWS[name]
        brightness = law_brightness(powers, weights)
        return (lambda r: brightness), [], law_normalisation(powers, weights)

    if name == "linear_limb":
        def brightness(r2, q):
            # q may round to just below zero at a node next to the limb.
            return 1 - LIMB_COEFFICIENT * (1 - mp.sqrt(max(q, 0)))

        # 2 pi (1/2 - 0.6 (1/2 - 1/3)) = 4 pi / 5.
        return (lambda r: brightness), [], 4 * mp.pi / 5

    bl, bf = FLUX_MAPS[name]
    bl, bf = [mp.mpf(x) for x in bl], [mp.mpf(y) for y in bf]
    if len(bl) == 1:
        return (lambda r: lambda r2, q: bf[0]), [], mp.pi * bf[0]
    segments = [(bl[k], bl[k + 1], bf[k], bf[k + 1])
                for k in range(len(bl) - 1) if bl[k] < bl[k + 1]]

    def linear(a, b, fa, fb):
        slope = (fb - fa) / (b - a)
        return lambda r2, q: fa + slope * (mp.sqrt(r2) - a)

    def dark(r2, q):
        return mp.mpf(0)

    def piece(r):
        for a, b, fa, fb in segments:
            if a <= r <= b:
                return linear(a, b, fa, fb)
        return dark

    # Each linear piece fa + m (r - a) integrates against r dr to a polynomial,
    # clipped to the unit disk.
    normalisation = mp.mpf(0)
    for a, b, fa, fb in segments:
        slope = (fb - fa) / (b - a)
        lo, hi = max(a, mp.mpf(0)), min(b, mp.mpf(1))
        if lo < hi:
            normalisation += ((fa - slope * a) * (hi ** 2 - lo ** 2) / 2
                              + slope * (hi ** 3 - lo ** 3) / 3)
    kinks = sorted(set(b for b in bl if 0 < b < 1))
    return piece, kinks, 2 * mp.pi * normalisation


def source_excess(name, l, eta):
    """Mean of (A - 1) B over the unit disk, divided by the mean of B.

    A ray from the lens at angle theta to the direction of the source centre
    passes at d = l sin(theta) from the centre, its foot at p = l cos(theta)
    along the ray; a point of it at x = p + y is at r^2 = y^2 + d^2 from the
    centre. The inner integral runs over y (not x: at l = 1e8 the chord is 2
    against x ~ 1e8, and r would be lost in x - p) from the lens or the near
    limb to the far limb, the integrand (A - 1)(x) x B(r)."""
    piece, kinks, normalisation = profile_of(name)
    l, eta = mp.mpf(l), mp.mpf(eta)
    zero, half_pi = mp.mpf(0), mp.pi / 2

    def along_ray(p, d, h, y_lo):
        """int_{y_lo}^{h} (A - 1)(p + y) (p + y) B dy, h^2 = 1 - d^2."""
        if y_lo >= h:
            return zero
        points = [y_lo, h]
        if y_lo < 0 < h:
            # Closest approach to the centre: r = sqrt(y^2 + d^2) bends there
            # on the scale d, which a profile linear in r near r = 0 feels.
            points.append(zero)
        for b in kinks:
            if b > d:
                e = mp.sqrt((b - d) * (b + d))
                points += [y for y in (-e, e) if y_lo < y < h]
        if p + y_lo < eta:
            # The lens weight (A - 1) x turns over at x ~ eta.
            points += [y for y in geometric(-p, h, eta / 8) if y > y_lo]

        def select(a, b):
            middle = (a + b) / 2
            brightness = piece(mp.sqrt(middle * middle + d * d))

            def f(y):
                return (lens_excess_times_x(p + y, eta)
                        * brightness(y * y + d * d, (h - y) * (h + y)))

            return f

        return quad(None, breaks(points), select)

    if l > 1:
        # Rays parametrised by t in [0, pi/2] with l sin(theta) = cos(t):
        # d = cos t, the half chord h = sin t, p = sqrt(L + sin^2 t) with
        # L = l^2 - 1, dtheta = sin t / p dt. The ray at t is tangent to the
        # circle of radius b at t = acos(b).
        big_l = mp.fsub(l, 1, exact=True) * (l + 1)

        def outer(t):
            s = mp.sin(t)
            p = mp.sqrt(big_l + s * s)
            return along_ray(p, mp.cos(t), s, -s) * s / p

        points = [zero, half_pi] + [mp.acos(b) for b in kinks]
        points += geometric(zero, half_pi, min(mp.sqrt(big_l), eta) / 8)
    elif l == 1:
        # Lens on the limb: rays over theta in [0, pi/2], from the lens
        # (y = -cos) to the far limb (y = cos).
        def outer(theta):
            c = mp.cos(theta)
            return along_ray(c, mp.sin(theta), c, -c)

        points = [zero, half_pi] + [mp.asin(b) for b in kinks]
        points += geometric(half_pi, zero, min(eta, mp.mpf(1)) / 8)
    else:
        # Lens inside: rays over theta in [0, pi], from the lens (y = -p) to
        # the limb; h^2 = cos^2 + (1 - l^2) sin^2 without cancellation. A
        # circle of radius b < l is tangent to the ray at asin(b/l).
        m = mp.fsub(1, l, exact=True) * (1 + l)

        def outer(theta):
            c, s = mp.cos(theta), mp.sin(theta)
            p = l * c
            return along_ray(p, l * s, mp.sqrt(c * c + m * s * s), -p)

        points = [zero, half_pi, mp.pi]
        for b in kinks:
            if b < l:
                points.append(mp.asin(b / l))
        if l > mp.mpf("0.7"):
            # Close to the limb the exit distance changes on the scale
            # sqrt(1 - l^2) around theta = pi/2.
            width = min(mp.sqrt(m), eta) / 8
            points += geometric(half_pi, zero, width) + geometric(half_pi, mp.pi, width)
    return 2 * quad(outer, breaks(points)) / normalisation


def source_brute(name, l, eta):
    """Second method: polar coordinates about the source centre, the ring
    average of A - 1 integrated over the radius with weight 2 pi r B(r)."""
    piece, kinks, normalisation = profile_of(name)
    l, eta = mp.mpf(l), mp.mpf(eta)

    def term(middle):
        brightness = piece(middle)
        return lambda r, gap: r * brightness(r * r, (1 - r) * (1 + r)) * ring_excess(l, r, eta, gap)

    return 2 * mp.pi * about_centre(l, mp.mpf(1), kinks, term) / normalisation


def source_row(name, l, eta, dps):
    set_digits(dps)
    return source_excess(name, l, eta)


def source_brute_row(name, l, eta, dps):
    set_digits(dps)
    return source_brute(name, l, eta)


def source_cases():
    cases = []
    for eta in (0.01, 1.0, 100.0, 1e4, 1e6):
        for l in (0.0, 1e-3, 0.3, 0.7, 1 - 1e-9, 1.0, 1 + 1e-9, 1.05, 2.0, 10.0, 29.0,
                  31.0, 100.0, 1e3, 1e5, 1e8):
            cases.append(("linear_limb", l, eta))
    for name in FLUX_MAPS:
        for eta in (0.01, 1.0, 1e4):
            for l in (0.0, 0.3, 0.5, 0.7, 1.0, 1.05, 2.0, 31.0, 1e3, 1e8):
                cases.append((name, l, eta))
    return cases


LAW_LS = (0.0, 0.3, 0.7, 1 - 1e-9, 1.0, 1 + 1e-9, 1.05, 2.0, 31.0, 1e3)
LAW_ETAS = (0.01, 1.0, 1e4)
# Besides that grid, the lens just off the limb for eta from 1 up. A
# quadrature over the source radius meets there the ring through the lens,
# l - 1 beyond the limb, whose singularities stand only sqrt(2 (l - 1)) off
# the limb, while the lens weight varies on the scale eta >= 1, so nothing
# else marks the limb for the module's rule: the values must hold there too.
LAW_LIMB_LS = (1 - 1e-6, 1 + 1e-6, 1 + 1e-4)
LAW_LIMB_ETAS = (1.0, 100.0, 1e4)


def law_grid():
    return [(l, eta) for eta in LAW_ETAS for l in LAW_LS]


def law_limb_regimes():
    """(l, eta) just off the limb, not already on the grid."""
    grid = law_grid()
    return [(l, eta) for eta in LAW_LIMB_ETAS for l in LAW_LIMB_LS if (l, eta) not in grid]


def law_powers():
    return sorted(set(float(p) for powers, weights in LIMB_LAWS.values() for p in powers))


def power_cases():
    """The terms mu^p of the limb laws, each alone, in every regime of the
    limb-law table. The average is linear in B: with E_p the excess of the
    mean of A over a source of brightness mu^p, and N_p = 2 pi / (p + 2) its
    normalisation, a law sum_k w_k mu^p_k has the excess
        sum_k w_k N_k E_k / sum_k w_k N_k,
    so six powers serve the ten laws. The weights of the laws here are at
    most 0.25 negative against a positive constant term, so the sum loses
    well under a digit to cancellation. The grid comes first, the regimes
    just off the limb after it."""
    return ([(p, l, eta) for p in law_powers() for l, eta in law_grid()]
            + [(p, l, eta) for p in law_powers() for l, eta in law_limb_regimes()])


def law_cases():
    """The rows of limb_law_regimes.tsv: law by law, in order of eta, then l."""
    regimes = sorted(law_grid() + law_limb_regimes(), key=lambda case: (case[1], case[0]))
    return [(name, l, eta) for name in LIMB_LAWS for l, eta in regimes]


def check_law_normalisations():
    """The closed-form normalisations against a numerical integral of
    2 pi B r over the radius (tanh-sinh takes the root at the limb), which
    also checks the evaluation of the powers of mu."""
    set_digits(30)
    for name, (powers, weights) in LIMB_LAWS.items():
        piece, kinks, normalisation = profile_of(name)
        brightness = piece(mp.mpf(0))
        numerical = 2 * mp.pi * mp.quad(lambda r: brightness(r * r, (1 - r) * (1 + r)) * r, [0, 1])
        if abs(numerical - normalisation) > mp.mpf("1e-25") * normalisation:
            sys.exit("%s: normalisation %s, numerically %s"
                     % (name, mp.nstr(normalisation, 30), mp.nstr(numerical, 30)))


# --------------------------------------------------------------------------

def relative(a, b):
    return abs(a - b) / abs(b)


def write(name, header, rows):
    path = os.path.join(DATA, name)
    with open(path, "w") as out:
        out.write("# %s\n# Generated by %s (mpmath %s); do not edit.\n"
                  % (header, SCRIPT, mp.__version__))
        for row in rows:
            out.write("\t".join(r if isinstance(r, str) else repr(float(r)) for r in row) + "\n")
    print("wrote %d rows to %s" % (len(rows), os.path.normpath(path)), flush=True)


def checked(pool, function, cases, precisions, agree, label):
    """Every case at both precisions; abort on disagreement. Returns the
    values at the higher precision and the worst relative disagreement."""
    low = pool.starmap(function, [case + (precisions[0],) for case in cases])
    high = pool.starmap(function, [case + (precisions[1],) for case in cases])
    worst = mp.mpf(0)
    for case, a, b in zip(cases, low, high):
        mp.mp.dps = precisions[1]
        diff = relative(a, b)
        worst = max(worst, diff)
        if diff > agree:
            sys.exit("%s %r: %s at %d precisions against %s at %d"
                     % (label, case, mp.nstr(a, 30), precisions[0], mp.nstr(b, 30), precisions[1]))
    print("%s: %d cases, worst relative disagreement of the excess between %d and %d precisions: %s"
          % (label, len(cases), precisions[0], precisions[1], mp.nstr(worst, 3)), flush=True)
    return high


def recheck_at_higher_precision(pool, label, cases, values, subset):
    """Recomputes the source averages of cases[k], k in `subset`, at the
    higher 2-D precision, stops the run unless each agrees with values[k]
    (computed at the lower one) to AGREE_2D, and keeps the better value."""
    again = pool.starmap(source_row, [cases[k] + (DIGITS_2D[1],) for k in subset])
    mp.mp.dps = DIGITS_2D[1]
    worst = mp.mpf(0)
    for k, b in zip(subset, again):
        diff = relative(values[k], b)
        worst = max(worst, diff)
        if diff > AGREE_2D:
            sys.exit("%s %r: %s at %d digits against %s at %d" % (
                label, cases[k], mp.nstr(values[k], 25), DIGITS_2D[0], mp.nstr(b, 25), DIGITS_2D[1]))
        values[k] = b
    print("%s: %d cases, worst relative disagreement of the excess between %d and %d digits: %s"
          % (label, len(subset), DIGITS_2D[0], DIGITS_2D[1], mp.nstr(worst, 3)), flush=True)


def agree_about_centre(pool, label, brute_cases, excess_of):
    """Recomputes `brute_cases` in the second coordinate system (about the
    source centre) and stops the run unless every excess agrees with
    excess_of(case) to 1e-15."""
    brute = pool.starmap(source_brute_row, [case + (DIGITS_2D[0],) for case in brute_cases])
    mp.mp.dps = DIGITS_2D[1]
    worst = mp.mpf(0)
    for case, b in zip(brute_cases, brute):
        worst = max(worst, relative(b, excess_of(case)))
    print("%s: %d cases about the source centre, worst relative disagreement of the excess: %s"
          % (label, len(brute_cases), mp.nstr(worst, 3)), flush=True)
    if worst > mp.mpf("1e-15"):
        sys.exit("%s: the two coordinate systems disagree" % label)


def read_law_rows():
    """The rows of limb_law_regimes.tsv as written, keyed by (law, l, eta)."""
    rows = {}
    with open(os.path.join(DATA, "limb_law_regimes.tsv")) as table:
        for line in table:
            if not line.startswith("#"):
                fields = line.rstrip("\n").split("\t")
                rows[(fields[0], float(fields[1]), float(fields[2]))] = tuple(fields)
    return rows


def limb_laws(pool, start, missing_only=False):
    """Writes the two limb-law tables. With missing_only, the rows already in
    limb_law_regimes.tsv are kept as written and only the regimes (l, eta)
    missing from it are computed: each case is computed and re-checked
    exactly as in a whole run, so the rows are the ones a whole run writes."""
    check_law_normalisations()
    laws = law_cases()
    kept = read_law_rows() if missing_only else {}
    if set(kept) - set(laws):
        sys.exit("limb_law_regimes.tsv has rows this script no longer writes: %r"
                 % sorted(set(kept) - set(laws)))
    missing = {(l, eta) for name, l, eta in laws if (name, l, eta) not in kept}
    every = power_cases()
    chosen = [k for k, (p, l, eta) in enumerate(every) if (l, eta) in missing]
    cases = [every[k] for k in chosen]
    values = pool.starmap(source_row, [case + (DIGITS_2D[0],) for case in cases])
    print("limb-law powers: %d cases at %d digits, %.0f s"
          % (len(cases), DIGITS_2D[0], time.time() - start), flush=True)
    # Re-check every third case, the lens at the limb with eta = 1, every
    # case at the limb for the odd multiples of 1/2 (mu^(1/2) and mu^(3/2) go
    # to zero at the limb like a fourth root, mu^(5/2) like q times one), and
    # every case just off the limb (after the grid), at higher precision.
    # k counts the cases of a whole run.
    grid = len(law_powers()) * len(law_grid())
    subset = [i for i, k in enumerate(chosen)
              if k % 3 == 0 or k >= grid or (abs(every[k][1] - 1) < 1e-6
                                             and (every[k][2] == 1.0 or 2 * every[k][0] % 2 == 1))]
    recheck_at_higher_precision(pool, "limb-law power", cases, values, subset)
    print("  %.0f s" % (time.time() - start), flush=True)

    excess_of = dict(zip(cases, values))
    computed = [case for case in laws if case not in kept]
    excesses = []
    for name, l, eta in computed:
        powers, weights = LIMB_LAWS[name]
        flux = [mp.mpf(w) * 2 * mp.pi / (mp.mpf(p) + 2) for p, w in zip(powers, weights)]
        excesses.append(sum(f * excess_of[(float(p), l, eta)] for p, f in zip(powers, flux)) / sum(flux))

    # The whole law, not its terms, in the second coordinate system: this
    # checks the sum over the terms as well.
    brute_cases = [("four_parameter", 0.3, 1.0), ("square_root_0.3_0.4", 2.0, 0.01),
                   ("power2_0.6_0.5", 1 - 1e-9, 1.0), ("power2_0.6_0.5", 1.0, 0.01),
                   ("four_parameter", 1 + 1e-9, 1e4), ("quadratic_0.4_0.25", 0.7, 1e4),
                   ("power2_0.6_2.5", 1.05, 1.0), ("linear_1", 31.0, 0.01), ("linear_0.9", 1.0, 1.0),
                   ("linear_0", 0.0, 0.01), ("four_parameter", 1e3, 1.0),
                   ("four_parameter", 1 + 1e-6, 100.0)]
    brute_cases = [case for case in brute_cases if case in computed]
    agree_about_centre(pool, "limb laws", brute_cases, lambda case: excesses[computed.index(case)])

    rows = dict(zip(computed, (case + (1 + excess, excess) for case, excess in zip(computed, excesses))))
    write("limb_law_regimes.tsv", "law\tl\teta\tlaw-weighted disk magnification\tits excess over 1",
          [kept[case] if case in kept else rows[case] for case in laws])
    write("limb_laws.tsv", "name\tpowers (comma-separated)\tweights (comma-separated)",
          [(name, ",".join(repr(float(p)) for p in powers), ",".join(repr(float(w)) for w in weights))
           for name, (powers, weights) in LIMB_LAWS.items()])


def disks_rings_sources(pool, start):
    check_primitive()
    cases = uniform_disk_cases()
    excesses = checked(pool, uniform_disk_row, cases, DIGITS_1D, AGREE_1D, "uniform disk")
    mp.mp.dps = DIGITS_1D[1]
    rows = []
    for (rho, l), excess in zip(cases, excesses):
        if l == 0:
            value = mp.sqrt(1 + 4 / mp.mpf(rho) ** 2)
        else:
            value = 1 + excess
        rows.append((rho, l, value, excess))
    write("uniform_disk_regimes.tsv", "rho\tl\tuniform-disk magnification\tits excess over 1", rows)

    brute_cases = [(0.1, 0.5), (1.0, 0.3), (1.0, 2.0), (0.01, 1.1), (10.0, 0.9), (0.5, 100.0),
                   (100.0, 5.0), (1e-3, 1.001), (2.0, 1.0), (1e-4, 0.999),
                   (1.0, 1 - 1e-6), (1.0, 1 + 1e-6), (100.0, 1 - 1e-9), (1e-6, 1e8), (0.01, 1e4)]
    brute = pool.starmap(uniform_disk_brute_row, [case + (20,) for case in brute_cases])
    mp.mp.dps = DIGITS_1D[1]
    worst = mp.mpf(0)
    for case, b in zip(brute_cases, brute):
        a = excesses[cases.index(case)]
        worst = max(worst, relative(b, a))
    print("uniform disk: %d cases about the disk centre, worst relative disagreement "
          "of the excess: %s" % (len(brute_cases), mp.nstr(worst, 3)), flush=True)
    if worst > mp.mpf("1e-15"):
        sys.exit("uniform disk: the two coordinate systems disagree")
    print("  %.0f s" % (time.time() - start), flush=True)

    cases = ring_cases()
    excesses = checked(pool, ring_row, cases, DIGITS_1D, AGREE_1D, "ring")
    mp.mp.dps = DIGITS_1D[1]
    write("ring_regimes.tsv", "l\tr\teta\tring-averaged magnification\tits excess over 1",
          [case + (1 + excess, excess) for case, excess in zip(cases, excesses)])
    print("  %.0f s" % (time.time() - start), flush=True)

    cases = source_cases()
    values = pool.starmap(source_row, [case + (DIGITS_2D[0],) for case in cases])
    print("source: %d cases at %d digits, %.0f s" % (len(cases), DIGITS_2D[0], time.time() - start),
          flush=True)
    # Re-check every third case, and the lens at the limb, at higher precision.
    subset = [k for k, (name, l, eta) in enumerate(cases)
              if k % 3 == 0 or (abs(l - 1) < 1e-6 and eta == 1.0)]
    recheck_at_higher_precision(pool, "source", cases, values, subset)

    brute_cases = [("linear_limb", 0.3, 1.0), ("linear_limb", 2.0, 0.01), ("linear_limb", 1.05, 100.0),
                   ("linear_limb", 1e3, 1.0), ("limb_11", 0.7, 1.0), ("step", 0.3, 0.01),
                   ("step", 2.0, 1.0), ("offset", 0.5, 1e4), ("offset", 1.05, 1.0),
                   ("inner_half", 0.7, 0.01), ("uniform", 31.0, 1.0),
                   ("linear_limb", 1 - 1e-9, 1.0), ("linear_limb", 1.0, 0.01),
                   ("linear_limb", 1 + 1e-9, 1e4), ("linear_limb", 1e8, 1e6), ("limb_11", 1.0, 1e4),
                   ("inner_half", 2.0, 0.01), ("inner_half", 0.5, 1.0), ("step", 0.5, 1e4),
                   ("offset", 0.0, 0.01), ("uniform", 0.7, 0.01)]
    agree_about_centre(pool, "source", brute_cases, lambda case: values[cases.index(case)])

    write("source_regimes.tsv", "profile\tl\teta\tprofile-weighted disk magnification\tits excess over 1",
          [case + (1 + excess, excess) for case, excess in zip(cases, values)])
    write("flux_maps_regimes.tsv", "name\tbl (comma-separated)\tbf (comma-separated)",
          [(name, ",".join(repr(float(x)) for x in bl), ",".join(repr(float(y)) for y in bf))
           for name, (bl, bf) in FLUX_MAPS.items()])
    print("  %.0f s" % (time.time() - start), flush=True)


def main():
    parser = argparse.ArgumentParser(description="Brute-force references in mpmath.")
    parser.add_argument("--limb-laws", action="store_true",
                        help="write only limb_law_regimes.tsv and limb_laws.tsv")
    parser.add_argument("--missing-only", action="store_true",
                        help="with --limb-laws: keep the rows of limb_law_regimes.tsv as they are "
                        "and compute only the regimes missing from it")
    arguments = parser.parse_args()
    if arguments.missing_only and not arguments.limb_laws:
        parser.error("--missing-only applies to --limb-laws")
    start = time.time()
    with multiprocessing.Pool(2) as pool:
        if not arguments.limb_laws:
            disks_rings_sources(pool, start)
        limb_laws(pool, start, arguments.missing_only)
    print("done in %.0f s" % (time.time() - start), flush=True)


if __name__ == "__main__":
    main()
