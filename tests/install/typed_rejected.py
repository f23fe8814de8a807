"""Must be rejected by mypy reading the installed stubs: a str is a sequence,
but not of numbers; a list is not a number; the array front returns arrays,
not lists."""
import mirlaxon
import mirlaxon_arrays

mirlaxon.witt_mao_magnification("0.5", 1.0, 0.05)
mirlaxon.heyrovsky_magnification([0.5], 0.3, 1.0, 1.0)
mirlaxon_arrays.witt_mao_magnification("0.5", 1.0, 0.05)
listed: list[float] = mirlaxon_arrays.witt_mao_magnification([0.5], 1.0, 0.05)
