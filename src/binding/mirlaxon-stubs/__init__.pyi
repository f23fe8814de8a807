"""Gravitational-microlensing magnifications of an extended source star by a
single point lens.

Separations ``l``, ring radii ``r`` and flux-map radii ``bl`` are in units of
the source radius; the Einstein radius ``re`` and the source radius ``rstar``
enter only through their ratio. Sequence arguments take any sequence of
numbers (lists, tuples, ranges, numpy arrays, ``array.array``, memoryviews);
contiguous float64 buffers are read directly. Numbers may be any number-like
object (float, int, numpy scalars).
"""

from typing import Protocol, SupportsFloat, SupportsIndex, Union

# What the module converts to a double: anything with __float__ or __index__.
Number = Union[SupportsFloat, SupportsIndex]

class Samples(Protocol):
    """A sized sequence of numbers: what the module converts to samples."""

    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> Number: ...

__all__: list[str]
__version__: str

def witt_mao_magnification(l: Samples, re: Number, rstar: Number) -> list[float]:
    """Magnification of a uniformly bright disk at each separation (Witt & Mao's
    closed form). RuntimeError if an elliptic integral rejects its arguments."""

def integrated_witt_mao_magnification(l: Samples, re: Number, rstar: Number) -> list[float]:
    """Magnification of a linearly limb-darkened source (coefficient 0.6),
    integrated over uniform disks."""

def integrated_flux_map_witt_mao_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples
) -> list[float]:
    """Magnification of a source with the tabulated brightness bf at radii bl
    (interpolated linearly, zero outside the samples), integrated over uniform
    disks."""

def heyrovsky_magnification(l: Number, r: Number, re: Number, rstar: Number) -> float:
    """Magnification of a thin uniform ring of radius r at separation l
    (Heyrovský's closed form; infinite when the ring passes through the lens)."""

def integrated_heyrovsky_magnification(l: Samples, re: Number, rstar: Number) -> list[float]:
    """Magnification of a linearly limb-darkened source (coefficient 0.6),
    integrated over rings."""

def integrated_flux_map_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples
) -> list[float]:
    """Magnification of a source with the tabulated brightness bf at radii bl,
    integrated over rings."""

def discrete_flux_map_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples
) -> list[float]:
    """Sum over the rings of radii bl of each ring's magnification times its
    weight bf (the weights are used as given, not normalised)."""

def integrated_limb_law_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, powers: Samples, weights: Samples
) -> list[float]:
    """Magnification of a source with the limb-darkening law
    B = sum(weights[k] * mu**powers[k]), mu = sqrt(1 - r**2), integrated over
    rings. ValueError for powers and weights of different lengths, a power that
    is negative or not finite, or a weight that is not finite."""

def witt_mao_gradient(
    l: Samples, re: Number, rstar: Number
) -> tuple[list[float], list[float], list[float]]:
    """The uniform disk's magnification A at each separation (as
    witt_mao_magnification) and its derivatives dA/du at fixed rho and dA/drho
    at fixed u, where u = l*rstar/re is the lens's distance from the source
    centre and rho = rstar/re the source radius, both in Einstein radii:
    (A, dA/du, dA/drho). RuntimeError as for the magnification."""

def integrated_limb_law_heyrovsky_gradient(
    l: Samples, re: Number, rstar: Number, powers: Samples, weights: Samples
) -> tuple[list[float], list[float], list[float]]:
    """The magnification A of integrated_limb_law_heyrovsky_magnification at
    each separation and its derivatives dA/du at fixed rho and dA/drho at fixed
    u (u = l*rstar/re and rho = rstar/re, in Einstein radii):
    (A, dA/du, dA/drho). ValueError as for the magnification."""

def integrated_limb_law_heyrovsky_components(
    l: Samples, re: Number, rstar: Number, powers: Samples
) -> list[list[float]]:
    """The magnification A_k of the pure profile mu**powers[k] at each separation,
    one row per power in order: a law with weights w_k has
    A = sum(w_k*N_k*A_k) / sum(w_k*N_k), N_k = 2*pi/(powers[k] + 2).
    ValueError for a power that is negative or not finite."""
