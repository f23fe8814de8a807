"""The functions of ``mirlaxon`` with arrays in and arrays out: the same
parameters, and ``out``. A function of separations returns a numpy float64
array when the separations came as a numpy array, else an ``array('d')``; a
gradient is a tuple of three (A, dA/du, dA/drho), components a list of one
per power. With ``out=`` (one writable float64 buffer, or a tuple or list of
one per row) the values go there and ``out`` is returned.
"""

from array import array
from typing import Any, Protocol, Sized, SupportsFloat, SupportsIndex, TypeVar, Union, overload

import numpy as np
import numpy.typing as npt

# What the front converts to a double: anything with __float__ or __index__.
Number = Union[SupportsFloat, SupportsIndex]

class Samples(Protocol):
    """A sized sequence of numbers: what the front converts to samples."""

    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> Number: ...

Floats = npt.NDArray[np.float64]
# The caller's `out`, returned as it was given: a buffer, or a tuple or list
# of them.
_Out = TypeVar("_Out", bound=Sized)

__all__: list[str]
__version__: str

def paths() -> tuple[str, str]:
    """The C library and its header, as installed with this package."""

@overload  # type: ignore
def witt_mao_magnification(
    l: npt.NDArray[Any], re: Number, rstar: Number, *, out: None = None
) -> Floats: ...
@overload
def witt_mao_magnification(
    l: Samples, re: Number, rstar: Number, *, out: None = None
) -> array[float]: ...
@overload
def witt_mao_magnification(
    l: Samples, re: Number, rstar: Number, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def integrated_witt_mao_magnification(
    l: npt.NDArray[Any], re: Number, rstar: Number, *, out: None = None
) -> Floats: ...
@overload
def integrated_witt_mao_magnification(
    l: Samples, re: Number, rstar: Number, *, out: None = None
) -> array[float]: ...
@overload
def integrated_witt_mao_magnification(
    l: Samples, re: Number, rstar: Number, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def integrated_flux_map_witt_mao_magnification(
    l: npt.NDArray[Any], re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: None = None
) -> Floats: ...
@overload
def integrated_flux_map_witt_mao_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: None = None
) -> array[float]: ...
@overload
def integrated_flux_map_witt_mao_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: _Out
) -> _Out: ...

def heyrovsky_magnification(l: Number, r: Number, re: Number, rstar: Number) -> float:
    """Magnification of a thin uniform ring of radius r at separation l
    (Heyrovský's closed form; infinite when the ring passes through the lens)."""

@overload  # type: ignore
def integrated_heyrovsky_magnification(
    l: npt.NDArray[Any], re: Number, rstar: Number, *, out: None = None
) -> Floats: ...
@overload
def integrated_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, *, out: None = None
) -> array[float]: ...
@overload
def integrated_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def integrated_flux_map_heyrovsky_magnification(
    l: npt.NDArray[Any], re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: None = None
) -> Floats: ...
@overload
def integrated_flux_map_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: None = None
) -> array[float]: ...
@overload
def integrated_flux_map_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def discrete_flux_map_heyrovsky_magnification(
    l: npt.NDArray[Any], re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: None = None
) -> Floats: ...
@overload
def discrete_flux_map_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: None = None
) -> array[float]: ...
@overload
def discrete_flux_map_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, bl: Samples, bf: Samples, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def integrated_limb_law_heyrovsky_magnification(
    l: npt.NDArray[Any], re: Number, rstar: Number, powers: Samples, weights: Samples, *, out: None = None
) -> Floats: ...
@overload
def integrated_limb_law_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, powers: Samples, weights: Samples, *, out: None = None
) -> array[float]: ...
@overload
def integrated_limb_law_heyrovsky_magnification(
    l: Samples, re: Number, rstar: Number, powers: Samples, weights: Samples, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def witt_mao_gradient(
    l: npt.NDArray[Any], re: Number, rstar: Number, *, out: None = None
) -> tuple[Floats, Floats, Floats]: ...
@overload
def witt_mao_gradient(
    l: Samples, re: Number, rstar: Number, *, out: None = None
) -> tuple[array[float], array[float], array[float]]: ...
@overload
def witt_mao_gradient(
    l: Samples, re: Number, rstar: Number, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def integrated_limb_law_heyrovsky_gradient(
    l: npt.NDArray[Any], re: Number, rstar: Number, powers: Samples, weights: Samples, *, out: None = None
) -> tuple[Floats, Floats, Floats]: ...
@overload
def integrated_limb_law_heyrovsky_gradient(
    l: Samples, re: Number, rstar: Number, powers: Samples, weights: Samples, *, out: None = None
) -> tuple[array[float], array[float], array[float]]: ...
@overload
def integrated_limb_law_heyrovsky_gradient(
    l: Samples, re: Number, rstar: Number, powers: Samples, weights: Samples, *, out: _Out
) -> _Out: ...

@overload  # type: ignore
def integrated_limb_law_heyrovsky_components(
    l: npt.NDArray[Any], re: Number, rstar: Number, powers: Samples, *, out: None = None
) -> list[Floats]: ...
@overload
def integrated_limb_law_heyrovsky_components(
    l: Samples, re: Number, rstar: Number, powers: Samples, *, out: None = None
) -> list[array[float]]: ...
@overload
def integrated_limb_law_heyrovsky_components(
    l: Samples, re: Number, rstar: Number, powers: Samples, *, out: _Out
) -> _Out: ...
