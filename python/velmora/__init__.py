"""Band-limited resizing of NumPy arrays in the frequency domain.

velmora.resize(a, shape) resizes every axis of `a` whose size changes by
the mirror method: each line is extended by its mirror image into an even
signal, its spectrum is widened with zeros at the highest frequencies (or
cut there) and transformed back. Nothing finer than the input held is
invented, nothing above the new band survives a reduction (so nothing
aliases), and, unlike a plain periodic resample, the end of a line never
bleeds into its start. Axes whose size stays are carried over, so an
H x W x 3 picture keeps its channels and a stack of frames its frame axis.

velmora.dask.resize does the same for Dask arrays; importing velmora itself
does not need Dask.
"""
import operator

import numpy as np

from . import _velmora

__version__ = _velmora.version
__all__ = ["resize", "available_threads", "MAX_RANK", "MAX_AXIS_LENGTH", "MAX_THREADS"]

MAX_RANK = _velmora.max_rank
MAX_AXIS_LENGTH = _velmora.max_axis_length
MAX_THREADS = _velmora.max_threads
available_threads = _velmora.available_threads

_SAMPLE_DTYPES = tuple(np.dtype(t) for t in (np.uint8, np.uint16, np.float32, np.float64))
_ROUNDINGS = ("nearest", "truncate")


def _type_name(value):
    kind = type(value)
    return kind.__qualname__ if kind.__module__ == "builtins" else f"{kind.__module__}.{kind.__qualname__}"


def _sample_dtype(dtype, what):
    """The native-order form of one of the four sample dtypes, else TypeError."""
    native = dtype.newbyteorder("=")
    if native not in _SAMPLE_DTYPES:
        raise TypeError(f"{what} must be uint8, uint16, float32 or float64, not {dtype}")
    return native


def _check_rank(ndim):
    if ndim == 0:
        raise TypeError("velmora resizes arrays of rank 1 to %d, not a 0-d array (a scalar)" % MAX_RANK)
    if ndim > MAX_RANK:
        raise ValueError(f"the array has rank {ndim}; velmora resizes ranks 1 to {MAX_RANK}")


def _check_shape(shape, old):
    """The new sizes as a tuple of ints, one per axis of an array of shape `old`."""
    if isinstance(shape, (int, np.integer)):
        shape = (shape,)
    try:
        sizes = list(shape)
    except TypeError:
        raise TypeError(f"shape must be a sequence of integers, not {_type_name(shape)}") from None
    if len(sizes) != len(old):
        raise ValueError(f"shape has length {len(sizes)} for an array of rank {len(old)}: give one size per axis")
    for axis, size in enumerate(sizes):
        try:
            if isinstance(size, (bool, np.bool_)):
                raise TypeError
            size = operator.index(size)
        except TypeError:
            raise TypeError(f"the size of axis {axis} must be an integer, not {size!r}") from None
        if size < 1:
            raise ValueError(f"the size of axis {axis} is {size}; sizes start at 1")
        if size != old[axis] and max(size, old[axis]) > MAX_AXIS_LENGTH:
            raise ValueError(f"axis {axis} changes from {old[axis]} to {size} samples; the longest axis "
                             f"that changes size is {MAX_AXIS_LENGTH}")
        sizes[axis] = size
    return tuple(sizes)


def _check_threads(threads):
    """The library's thread count: 0 for every CPU."""
    if threads is None:
        return 0
    if isinstance(threads, (bool, np.bool_)):
        raise TypeError("threads must be an integer or None, not a bool")
    threads = operator.index(threads)
    if not 1 <= threads <= MAX_THREADS:
        raise ValueError(f"threads is {threads}; give 1 to {MAX_THREADS}, or None for every CPU")
    return threads


def _check_rounding(rounding):
    """Whether the rounding truncates."""
    if not isinstance(rounding, str) or rounding not in _ROUNDINGS:
        raise ValueError(f"rounding is {rounding!r}; it is 'nearest' or 'truncate'")
    return rounding == "truncate"


def _output_dtype(dtype, native_in):
    """The dtype asked for (its byte order kept) and its native form; by
    default the input's, in native order."""
    asked = native_in if dtype is None else np.dtype(dtype)
    return asked, _sample_dtype(asked, "dtype")


def resize(a, shape, *, threads=None, rounding="nearest", dtype=None):
    """Resize a NumPy array band-limited, by the mirror method.

    Parameters
    ----------
    a : numpy.ndarray
        uint8, uint16, float32 or float64 samples, in either byte order, of
        rank 1 to 8, with any strides (non-contiguous, negative, Fortran
        order). Float samples must be finite; any finite value will do,
        up to the largest double.
    shape : sequence of int
        The new size of every axis, each from 1 up. An axis whose size
        changes may be at most MAX_AXIS_LENGTH long, before and after; an
        axis whose size stays is carried over untouched.
    threads : int or None
        1 to 256 threads; None uses every CPU the process may run on. The
        GIL is released while the resize runs, and calls from several
        threads at once are safe. The thread count never changes a byte of
        the result.
    rounding : {'nearest', 'truncate'}
        For integer outputs: 'nearest' rounds halves up, 'truncate' rounds
        toward zero (the command line tool's choice). Integer results are
        clipped to their dtype's range; float results are neither clipped
        nor rounded, except that float32 results round to the nearest
        float32 as ``astype`` does (beyond its range to infinity).
    dtype : dtype, optional
        The output's dtype, one of the four; by default that of `a`, in
        native byte order. uint8 in, float32 out keeps the exact values.

    Returns
    -------
    numpy.ndarray
        A new C-contiguous array of the given shape.

    Along each axis whose size changes, a line x[0..n) becomes y[0..n'):
    the cosine coefficients of x, cut to the first min(n, n'), evaluated at
    input position x' * n / n' for every output sample x'. So the first
    sample stays where it is, doubling returns input sample j at output
    sample 2j, and nothing wraps around the ends. Strides, byte order and
    the thread count never change a byte of the result; neither does
    splitting the array along an axis whose size stays. Float results are
    finite wherever the exact ones are: samples near the largest double are
    resized scaled by a power of two, which changes no bit of the result.

    Called from the main thread, a long resize runs on a thread of its own
    while Python's signal handlers keep running: Ctrl-C stops it within a
    fraction of a second and raises KeyboardInterrupt.

    Raises
    ------
    TypeError
        `a` is not a NumPy array, has another dtype or rank 0; `dtype`
        names another type; a size or `threads` is a bool.
    ValueError
        Rank above 8; a shape of the wrong length, a size below 1 or above
        the limit (the message names the axis); `threads` outside 1 to
        256; another rounding; a NaN or infinity in a float input (the
        message gives its index).
    MemoryError
        The output or the resize's work arrays could not be allocated.
    KeyboardInterrupt
        Ctrl-C (SIGINT) while the resize ran; likewise any exception a
        signal handler raises meanwhile. The resize is stopped first.

    Examples
    --------
    >>> import numpy as np, velmora
    >>> picture = np.zeros((480, 640, 3), np.uint8)
    >>> velmora.resize(picture, (960, 1280, 3)).shape
    (960, 1280, 3)
    >>> velmora.resize(np.arange(4.0), (8,))[::2].round(9)
    array([0., 1., 2., 3.])
    """
    if not isinstance(a, np.ndarray):
        hint = " (use velmora.dask.resize)" if type(a).__module__.startswith("dask") else ""
        raise TypeError(f"velmora.resize takes a NumPy array, not {_type_name(a)}{hint}")
    _check_rank(a.ndim)
    native_in = _sample_dtype(a.dtype, "the array's dtype")
    sizes = _check_shape(shape, a.shape)
    threads = _check_threads(threads)
    truncate = _check_rounding(rounding)
    asked, native_out = _output_dtype(dtype, native_in)
    if a.dtype != native_in:
        a = a.astype(native_in)  # the same values, so the same result
    out = np.empty(sizes, native_out)
    _velmora.resize_into(a, out, threads, truncate)
    return out if asked == native_out else out.astype(asked)
