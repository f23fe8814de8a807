"""The array front under PyPy: the C library through cffi in ABI mode (no
compiler at import), and the module's rules for arguments, results and
failures, in plain Python that PyPy's JIT compiles.

Arguments convert as the module converts them: a number is a float, or
anything with __float__ or __index__; a sequence is not a str and passes the
sequence check, and its items are numbers. An array('d') or a contiguous
float64 memoryview is handed to the library in place; anything else is
iterated. Conversion failures are TypeErrors naming the argument, with the
module's texts.
"""
import os
import time
from array import array

from cffi import FFI

from ._cdef import CDEF

ffi = FFI()
NULL = ffi.NULL
ffi.cdef(CDEF)
lib = ffi.dlopen(os.path.join(os.path.dirname(os.path.abspath(__file__)), "libmirlaxon.so"))

# A long call runs in pieces of its separations, each about PIECE_TIME long
# (sized from the time the previous piece took, growing at most MAX_GROWTH
# times), so that the signal handlers run between them: Ctrl-C ends it.
PIECE_TIME = 0.02
MAX_GROWTH = 8.0

_NATIVE_DOUBLE = ("d", "@d", "=d", "<d")
# Scratch memory for a call's values, not cleared: every value is written.
scratch = ffi.new_allocator(should_clear_after_alloc=False)


def _reworded(name, error):
    """The module's TypeError for a failed conversion of `name` (another
    error passes unchanged)."""
    if type(error) is not TypeError:
        return error
    reworded = TypeError("argument '%s': %s" % (name, error))
    reworded.__cause__ = error.__cause__
    return reworded


def _item(value):
    """A number as the module reads one: a float (or subclass), or anything
    with __float__ or __index__ (never a str, which float() would parse)."""
    if isinstance(value, float):
        return float.__float__(value)
    kind = type(value)
    if hasattr(kind, "__float__") or hasattr(kind, "__index__"):
        return float(value)
    raise TypeError("must be real number, not %s" % kind.__name__)


def number(value, name):
    try:
        return _item(value)
    except TypeError as error:
        raise _reworded(name, error) from error.__cause__


def _is_sequence(value):
    return not isinstance(value, dict) and hasattr(type(value), "__getitem__")


def _native_buffer(value):
    """A cdata view of a contiguous float64 array('d') or memoryview, or None."""
    kind = type(value)
    if kind is array:
        return ffi.from_buffer("double[]", value) if value.typecode == "d" else None
    if kind is memoryview:
        if value.format in _NATIVE_DOUBLE and value.ndim == 1 and value.c_contiguous:
            return ffi.from_buffer("double[]", value)
    return None


def samples(value, name):
    """The items of a sequence argument as a cdata array of doubles."""
    kind = type(value)
    if kind is list or kind is tuple:
        for item in value:
            if type(item) is not float:
                break
        else:
            return ffi.new("double[]", value)
    elif kind is array or kind is memoryview:
        view = _native_buffer(value)
        if view is not None:
            return view
    if isinstance(value, str):
        raise TypeError("argument '%s': Can't extract `str` to `Vec`" % name)
    if not _is_sequence(value):
        raise TypeError("argument '%s': '%s' object cannot be converted to 'Sequence'"
                        % (name, kind.__qualname__))
    try:
        values = [item if type(item) is float else _item(item) for item in value]
    except TypeError as error:
        raise _reworded(name, error) from error.__cause__
    return ffi.new("double[]", values)


def failure(function, arguments):
    """The exception of a failed call: the call is made again with an error
    report to fill in (the models are pure: it fails the same way)."""
    error = ffi.new("mirlaxon_error*")
    status = function(*arguments, error)
    message = ffi.string(error.message).decode("utf-8", "replace")
    if status == lib.MIRLAXON_VALUE_ERROR and error.argument[0] != b"\0":
        # A bad item's value written as the host writes numbers.
        message = message[:error.value_offset] + repr(error.value)
    if status == lib.MIRLAXON_KERNEL_FAILURE:
        return RuntimeError(message)
    if status in (lib.MIRLAXON_VALUE_ERROR, lib.MIRLAXON_LENGTH_MISMATCH):
        return ValueError(message)
    if status == lib.MIRLAXON_OUT_OF_MEMORY:
        return MemoryError(message)
    return SystemError(message)


def new_value():
    return ffi.new("double[1]")


def new_array(values, count):
    """A new array('d') of the `count` doubles at `values`."""
    result = array("d")
    result.frombytes(ffi.buffer(values, 8 * count))
    return result


_ONE_ZERO = array("d", [0.0])


def zeros(count):
    """A new array('d') of `count` zeros, made in one piece."""
    return _ONE_ZERO * count


def writable(result):
    """A cdata view of a new array('d'), for the library to write into."""
    return ffi.from_buffer("double[]", result)


def out_buffer(out, count, name="out"):
    """A cdata view of the caller's `out`: a writable, contiguous float64
    buffer of `count` values (`name` is the argument's, in the messages)."""
    try:
        view = memoryview(out)
    except TypeError:
        raise TypeError("argument '%s': a writable float64 buffer is needed, not '%s'"
                        % (name, type(out).__qualname__)) from None
    if view.readonly:
        raise TypeError("argument '%s': a writable float64 buffer is needed, not '%s'"
                        % (name, type(out).__qualname__))
    if view.format not in _NATIVE_DOUBLE or view.ndim != 1 or not view.c_contiguous:
        raise TypeError("argument '%s': a one-dimensional, contiguous float64 buffer is needed, not '%s'"
                        % (name, type(out).__qualname__))
    if len(view) != count:
        raise ValueError("argument '%s': %d values, not one per separation (%d)" % (name, len(view), count))
    return ffi.from_buffer("double[]", out, require_writable=True)


def out_buffers(out, rows, count):
    """Cdata views of the caller's `out` for a result of `rows` rows: a
    tuple or list of as many buffers, each taken as a single `out` is."""
    if not isinstance(out, (tuple, list)):
        raise TypeError("argument 'out': a tuple or list of %d float64 buffers is needed, not '%s'"
                        % (rows, type(out).__qualname__))
    items = tuple(out)
    if len(items) != rows:
        raise ValueError("argument 'out': %d buffers, not %d" % (len(items), rows))
    return [out_buffer(item, count, "out[%d]" % k) for k, item in enumerate(items)]


def _in_pieces(compute, first, count):
    """compute(offset, size) over the separations in pieces, each about
    PIECE_TIME long; one piece of none for no separations."""
    if count <= first:
        compute(0, count)
        return
    offset = 0
    size = first
    while offset < count:
        piece = min(size, count - offset)
        started = time.perf_counter()
        compute(offset, piece)
        elapsed = time.perf_counter() - started
        offset += piece
        scale = min(PIECE_TIME / elapsed, MAX_GROWTH) if elapsed > 0.0 else MAX_GROWTH
        size = max(1, int(piece * scale))


def _rows_delivered(values, rows, count, out, targets, kind):
    """Rows of `count` values, one after the other at `values`, into the
    caller's buffers (then `out`), or as new arrays in a `kind` (tuple or
    list)."""
    if targets is None:
        return kind(new_array(values + k * count, count) for k in range(rows))
    for k, target in enumerate(targets):
        ffi.memmove(target, values + k * count, 8 * count)
    return out


def gradient(function, first, separations, out, *others):
    """A gradient (value, d_u, d_rho) over all the separations, in pieces,
    into scratch memory; once every piece has succeeded, the three rows as
    new arrays or into the three buffers of `out`."""
    count = len(separations)
    targets = None if out is None else out_buffers(out, 3, count)
    values = scratch("double[]", 3 * count)

    def compute(offset, size):
        arguments = (separations + offset, size) + others + (
            values + offset, values + count + offset, values + 2 * count + offset)
        if function(*arguments, NULL):
            raise failure(function, arguments)

    _in_pieces(compute, first, count)
    return _rows_delivered(values, 3, count, out, targets, tuple)


def components(function, first, rows, separations, out, *others):
    """A row per power over all the separations, in pieces (the library
    writes a piece's rows one after the other), into scratch memory; once
    every piece has succeeded, the rows as new arrays or into `out`."""
    count = len(separations)
    targets = None if out is None else out_buffers(out, rows, count)
    values = scratch("double[]", rows * count)

    def compute(offset, size):
        piece = values if size == count else scratch("double[]", rows * size)
        arguments = (separations + offset, size) + others + (piece,)
        if function(*arguments, NULL):
            raise failure(function, arguments)
        if piece is not values:
            for k in range(rows):
                ffi.memmove(values + k * count + offset, piece + k * size, 8 * size)

    _in_pieces(compute, first, count)
    return _rows_delivered(values, rows, count, out, targets, list)


def per_separation(function, first, separations, out, *others):
    """`function` over all the separations, in pieces, into scratch memory;
    then, once every piece has succeeded, the values copied into a new
    array('d') or into `out`."""
    count = len(separations)
    target = None if out is None else out_buffer(out, count)
    values = scratch("double[]", count)

    def compute(offset, size):
        arguments = (separations + offset, size) + others + (values + offset,)
        if function(*arguments, NULL):
            raise failure(function, arguments)

    _in_pieces(compute, first, count)
    if target is None:
        return new_array(values, count)
    ffi.memmove(target, values, 8 * count)
    return out
