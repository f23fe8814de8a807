"""Type-checked against the installed stubs: a light curve as users write it."""
import array

import mirlaxon

separations: list[float] = [0.1 * i for i in range(30)]
uniform: list[float] = mirlaxon.witt_mao_magnification(separations, 1.0, 0.05)
limb: list[float] = mirlaxon.integrated_heyrovsky_magnification(array.array("d", separations), 1.0, 0.05)
ring: float = mirlaxon.heyrovsky_magnification(0.5, 0.3, re=1.0, rstar=0.05)
mapped = mirlaxon.integrated_flux_map_witt_mao_magnification((0.5,), 1.0, 0.05, bl=[0.0, 1.0], bf=[1.0, 0.4])
total: float = sum(mapped) + ring + uniform[0] + limb[0]
