"""Gravitational-microlensing magnifications of an extended source star by a
single point lens, arrays in and arrays out.

The functions of ``mirlaxon``, with the same names, parameters, values (to the
bit) and exceptions, and one more keyword, ``out``. Separations come as any
sequence of numbers or float64 buffer (numpy array, ``array('d')``,
memoryview, list, tuple); a function of separations returns its values as a
float64 array: a numpy array when the separations came as one, else an
``array('d')``, or, with ``out=``, written into the caller's writable
float64 buffer of one value per separation, which is returned. Nothing is
written on failure. Switching is an import line::

    import mirlaxon_arrays as mirlaxon

Under PyPy the functions are plain Python over the C library ``libmirlaxon.so``
(beside this file) through cffi; under CPython they are the extension
module's own array functions.
"""
import os
import platform

from ._cdef import NAMES as __all__, VERSION as __version__  # noqa: F401

if platform.python_implementation() == "PyPy":
    from ._entries import *  # noqa: F401,F403
else:
    from mirlaxon import _arrays as _native

    globals().update({name: getattr(_native, name) for name in __all__})
    del _native


def paths():
    """The C library and its header, as installed with this package:
    ``(".../libmirlaxon.so", ".../mirlaxon.h")``."""
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.join(here, "libmirlaxon.so"), os.path.join(here, "mirlaxon.h")
