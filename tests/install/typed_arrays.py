"""Type-checked against the array front's installed stubs: the result's kind
follows the separations (numpy array or array('d')), `out` comes back as
given, a gradient unpacks into three arrays and components are a list."""
from array import array

import numpy as np

import mirlaxon_arrays

l = np.linspace(0.5, 3.0, 10)
curve: np.ndarray = mirlaxon_arrays.integrated_heyrovsky_magnification(l, 1.0, np.float64(0.05))
listed: array[float] = mirlaxon_arrays.witt_mao_magnification([0.5, 2.0], 1.0, 0.05)
out = array("d", [0.0, 0.0])
same: array[float] = mirlaxon_arrays.witt_mao_magnification((0.5, 2.0), 1.0, 0.05, out=out)
value, d_u, d_rho = mirlaxon_arrays.witt_mao_gradient(l, 1.0, 0.05)
slopes: np.ndarray = d_u + d_rho + value
rows: list[array[float]] = mirlaxon_arrays.integrated_limb_law_heyrovsky_components([0.5], 1.0, 0.05, [0, 1])
ring: float = mirlaxon_arrays.heyrovsky_magnification(0.5, 0.3, re=1.0, rstar=0.05)
