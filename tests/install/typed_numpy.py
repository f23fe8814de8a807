"""Type-checked against the installed stubs: numpy arrays and scalars, and the
other sequences and buffers the module takes, where users pass them."""
import array

import numpy as np

import mirlaxon

times = np.linspace(-3.0, 3.0, 200)
l = np.sqrt(0.01 + times**2) / 0.05
rho = np.float64(0.05)
curve: list[float] = mirlaxon.integrated_heyrovsky_magnification(l, 1.0, rho)
disk: list[float] = mirlaxon.witt_mao_magnification(l[::2], np.float32(1.0), rho)
ring: float = mirlaxon.heyrovsky_magnification(l[0], np.int64(1), re=1, rstar=rho)
radii = np.array([0.0, 0.5, 1.0])
mapped = mirlaxon.integrated_flux_map_heyrovsky_magnification(
    memoryview(array.array("d", [0.5, 2.0])), 1.0, 0.05, bl=radii, bf=(1.0, 0.8, 0.3))
law = mirlaxon.integrated_limb_law_heyrovsky_magnification(range(3), 1.0, 0.05, [0, 1], np.array([0.4, 0.6]))
total: float = sum(curve) + sum(disk) + ring + sum(mapped) + sum(law)
version: str = mirlaxon.__version__
