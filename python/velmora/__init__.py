"""Band-limited resizing of NumPy arrays in the frequency domain.

velmora.resize(a, shape) resizes every axis of `a` whose size changes by
the mirror method: each line is extended by its mirror image into an even
signal, its spectrum is widened with zeros at the highest frequencies (or
cut there) and transformed back. Nothing finer than the input held is
invented, nothing above the new band survives a reduction (so nothing
aliases), and, unlike a plain periodic resample, the end of a line never
bleeds into its start. Axes whose size stays are carried over, so an
H x W x 3 picture keeps its channels and a stack of frames its frame axis.

velmora.Plan keeps one resize's threads, tables and work arrays for a loop
over many arrays of one shape; velmora.resize keeps a few such plans itself
(velmora.set_plan_cache). velmora.dask.resize does the same for Dask arrays;
importing velmora itself does not need Dask.
"""
import collections
import functools
import operator
import os
import threading

import numpy as np

from . import _velmora

__version__ = _velmora.version
__all__ = ["resize", "Plan", "clear_plan_cache", "set_plan_cache", "plan_cache_info", "PlanCacheInfo",
           "available_threads", "MAX_RANK", "MAX_AXIS_LENGTH", "MAX_THREADS"]

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


def _sizes(shape, rank=None, what="shape"):
    """A shape as a tuple of ints from 1 up (of `rank` sizes, when given)."""
    if isinstance(shape, (int, np.integer)):
        shape = (shape,)
    try:
        sizes = list(shape)
    except TypeError:
        raise TypeError(f"{what} must be a sequence of integers, not {_type_name(shape)}") from None
    if rank is not None and len(sizes) != rank:
        raise ValueError(f"{what} has length {len(sizes)} for an array of rank {rank}: give one size per axis")
    for axis, size in enumerate(sizes):
        try:
            if isinstance(size, (bool, np.bool_)):
                raise TypeError
            size = operator.index(size)
        except TypeError:
            raise TypeError(f"the size of axis {axis} must be an integer, not {size!r}") from None
        if size < 1:
            raise ValueError(f"the size of axis {axis} is {size}; sizes start at 1")
        sizes[axis] = size
    return tuple(sizes)


def _check_shape(shape, old, what="shape"):
    """The new sizes as a tuple of ints, one per axis of an array of shape `old`."""
    sizes = _sizes(shape, len(old), what)
    for axis, size in enumerate(sizes):
        if size != old[axis] and max(size, old[axis]) > MAX_AXIS_LENGTH:
            raise ValueError(f"axis {axis} changes from {old[axis]} to {size} samples; the longest axis "
                             f"that changes size is {MAX_AXIS_LENGTH}")
    return sizes


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


def _as_array(a, fallback, who):
    """`a` as an array of one of the four sample dtypes (either byte order),
    and the array its memory is seen through, for the overlap check. An
    ndarray must be one already; anything else goes through np.asarray and,
    holding other numbers, is converted to `fallback`."""
    if isinstance(a, np.ndarray):
        _check_rank(a.ndim)
        _sample_dtype(a.dtype, "the array's dtype")
        return a, a
    if type(a).__module__.startswith("dask"):
        raise TypeError(f"{who} takes a NumPy array, not {_type_name(a)} (use velmora.dask.resize)")
    source = np.asarray(a)
    if source.dtype.kind not in "biuf":
        raise TypeError(f"{who} takes numbers, not {_type_name(a)} of dtype {source.dtype}")
    _check_rank(source.ndim)
    if source.dtype.newbyteorder("=") in _SAMPLE_DTYPES:
        return source, source
    return source.astype(fallback), source


def _check_out(out, source, sizes, asked):
    if not isinstance(out, np.ndarray):
        raise TypeError(f"out must be a NumPy array, not {_type_name(out)}")
    if out.shape != sizes:
        raise ValueError(f"out has shape {out.shape}; the result's is {sizes}")
    if out.dtype.newbyteorder("=") != asked.newbyteorder("="):
        raise TypeError(f"out has dtype {out.dtype}; the result's is {asked}")
    if not out.flags.writeable:
        raise ValueError("out is read-only")
    # The library's own test, by the bytes each array spans, made here too
    # for inputs that were converted before the library sees them.
    if np.may_share_memory(source, out):
        raise ValueError("the output's memory overlaps the input's")


def _into(a, source, out, sizes, asked, native_out, run):
    """The resize of `a` by run(input, output) on native-order arrays: into
    `out` (checked first) or into a new array of dtype `asked`."""
    if out is not None:
        _check_out(out, source, sizes, asked)
    native_in = a.dtype.newbyteorder("=")
    if a.dtype != native_in:
        a = a.astype(native_in)  # the same values, so the same result
    if out is not None and out.dtype == native_out:
        run(a, out)
        return out
    target = np.empty(sizes, native_out)
    run(a, target)
    if out is not None:
        out[...] = target
        return out
    return target if asked == native_out else target.astype(asked)


PlanCacheInfo = collections.namedtuple("PlanCacheInfo", "plans bytes max_plans max_bytes")
PlanCacheInfo.__doc__ = """What velmora.resize keeps: idle plans and their bytes, and the bounds."""


class _PlanCache:
    """The plans velmora.resize keeps while they are idle, by the sizes,
    types and settings they serve (a plan serves any strides), least
    recently used first. A call takes its plan out while it runs, so no two
    calls share one; a second call of the same key meanwhile makes its own,
    and both come back. Plans are freed outside the lock: freeing one
    joins its threads."""

    def __init__(self, max_plans, max_bytes):
        self.max_plans, self.max_bytes = max_plans, max_bytes
        self._forget()

    def _forget(self):
        self._lock = threading.Lock()
        self._idle = collections.OrderedDict()  # key: plans, the last returned last
        self._plans = self._bytes = 0

    def run(self, a, target, threads, truncate):
        key = (a.shape, a.dtype.char, target.shape, target.dtype.char, threads, truncate)
        plan = self._take(key)
        if plan is None:
            plan = _velmora.Plan(a.shape, a.dtype, target.shape, target.dtype, threads, truncate)
        try:
            plan.execute(a, target)
        finally:
            self._give_back(key, plan)

    def _take(self, key):
        with self._lock:
            plans = self._idle.get(key)
            if not plans:
                return None
            plan = plans.pop()
            if not plans:
                del self._idle[key]
            self._plans -= 1
            self._bytes -= plan.nbytes
            return plan

    def _give_back(self, key, plan):
        with self._lock:
            if plan.nbytes > self.max_bytes or self.max_plans == 0:
                return
            self._idle.setdefault(key, []).append(plan)
            self._idle.move_to_end(key)
            self._plans += 1
            self._bytes += plan.nbytes
            freed = self._trim()
        del freed

    def _trim(self):
        """The plans let go to keep within the bounds, least recently used
        first (called with the lock held)."""
        freed = []
        while self._plans > self.max_plans or self._bytes > self.max_bytes:
            key, plans = next(iter(self._idle.items()))
            freed.append(plans.pop(0))
            if not plans:
                del self._idle[key]
            self._plans -= 1
            self._bytes -= freed[-1].nbytes
        return freed

    def clear(self):
        with self._lock:
            freed = self._idle
            self._idle = collections.OrderedDict()
            self._plans = self._bytes = 0
        del freed

    def bound(self, max_plans, max_bytes):
        with self._lock:
            self.max_plans, self.max_bytes = max_plans, max_bytes
            freed = self._trim()
        del freed

    def info(self):
        with self._lock:
            return PlanCacheInfo(self._plans, self._bytes, self.max_plans, self.max_bytes)


# A plan for a 2048 x 2048 float32 array enlarged to 4096 x 4096 takes
# about 100 MiB; a few pictures' worth of plans at most.
_plans = _PlanCache(max_plans=4, max_bytes=1 << 30)
if hasattr(os, "register_at_fork"):
    # A forked child has none of the plans' threads: its copies are
    # forgotten (never freed, never run) and it makes its own. The lock
    # too, which another thread may have held at the fork.
    os.register_at_fork(after_in_child=_plans._forget)


def clear_plan_cache():
    """Free every plan velmora.resize keeps. Plans in use by running calls
    come back when those end."""
    _plans.clear()


def _check_bound(value, name):
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be an integer or None, not a bool")
    value = operator.index(value)
    if value < 0:
        raise ValueError(f"{name} is {value}; it is 0 or more")
    return value


def set_plan_cache(*, max_plans=None, max_bytes=None):
    """Set the bounds of the plans velmora.resize keeps.

    Parameters
    ----------
    max_plans : int, optional
        Idle plans kept at most (4 at first); 0 keeps none, so that every
        call makes and frees its own. None leaves the bound as it is.
    max_bytes : int, optional
        Bytes the idle plans hold at most, their work arrays, workspaces,
        tables and transform plans (1 GiB at first); a plan larger than
        this is freed after its call. None leaves the bound as it is.

    Plans beyond the new bounds are freed at once, least recently used
    first.
    """
    info = plan_cache_info()
    max_plans = info.max_plans if max_plans is None else _check_bound(max_plans, "max_plans")
    max_bytes = info.max_bytes if max_bytes is None else _check_bound(max_bytes, "max_bytes")
    _plans.bound(max_plans, max_bytes)


def plan_cache_info():
    """The idle plans velmora.resize keeps, their bytes and the bounds, as
    a PlanCacheInfo(plans, bytes, max_plans, max_bytes)."""
    return _plans.info()


def _resize(a, shape, threads, rounding, dtype, out, plans):
    """velmora.resize with the plans kept in `plans`, or made and freed by
    the library (None)."""
    fallback = np.float64 if dtype is None else _sample_dtype(np.dtype(dtype), "dtype")
    a, source = _as_array(a, fallback, "velmora.resize")
    sizes = _check_shape(shape, a.shape)
    threads = _check_threads(threads)
    truncate = _check_rounding(rounding)
    asked, native_out = _output_dtype(dtype, a.dtype.newbyteorder("="))
    if plans is None:
        run = functools.partial(_velmora.resize_into, threads=threads, truncate=truncate)
    else:
        run = functools.partial(plans.run, threads=threads, truncate=truncate)
    return _into(a, source, out, sizes, asked, native_out, run)


def _resize_uncached(a, shape, *, threads=None, rounding="nearest", dtype=None, out=None):
    """velmora.resize without the kept plans: each call makes and frees its
    own, so that its memory ends with it (velmora.dask's blocks)."""
    return _resize(a, shape, threads, rounding, dtype, out, None)


def resize(a, shape, *, threads=None, rounding="nearest", dtype=None, out=None):
    """Resize an array band-limited, by the mirror method.

    Parameters
    ----------
    a : array_like
        uint8, uint16, float32 or float64 samples, in either byte order, of
        rank 1 to 8, with any strides (non-contiguous, negative, Fortran
        order). Anything else that is not an ndarray (a list, a memoryview,
        an object with ``__array__``) goes through ``np.asarray`` first,
        and if it holds other numbers (bools, other integers or floats) it
        is converted to `dtype`, as ``astype`` converts, or to float64.
        Float samples must be finite; any finite value will do, up to the
        largest double.
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
        The result's dtype, one of the four, in the byte order given; by
        default that of `a`, in native byte order. uint8 in, float32 out
        keeps the exact values.
    out : numpy.ndarray, optional
        Where to put the result, as NumPy's ufuncs allow: a writable array
        of the new shape and the result's dtype (either byte order), with
        any strides, that shares no memory with `a`.

    Returns
    -------
    numpy.ndarray
        `out`, or a new C-contiguous array of the given shape.

    Raises
    ------
    TypeError
        `a` is an ndarray of another dtype, holds no numbers (strings,
        objects, complex numbers) or has rank 0; `a` is a Dask array (use
        velmora.dask.resize); `dtype` names another type; a size or
        `threads` is a bool; `out` is not an ndarray or of another dtype.
    ValueError
        Rank above 8; a shape of the wrong length, a size below 1 or above
        the limit (the message names the axis); `threads` outside 1 to
        256; another rounding; `out` of another shape, read-only or
        overlapping `a`; a NaN or infinity in a float input (the message
        gives its index).
    MemoryError
        The output or the resize's work arrays could not be allocated.
    RuntimeError
        The system refused one of the resize's threads.
    KeyboardInterrupt
        Ctrl-C (SIGINT) while the resize ran; likewise any exception a
        signal handler raises meanwhile. The resize is stopped first.

    See Also
    --------
    Plan : one resize kept for a loop over many arrays of one shape.
    velmora.dask.resize : the same for Dask arrays.

    Notes
    -----
    Along each axis whose size changes, a line x[0..n) becomes y[0..n'):
    the cosine coefficients of x, cut to the first min(n, n'), evaluated at
    input position x' * n / n' for every output sample x'. So the first
    sample stays where it is, doubling returns input sample j at output
    sample 2j, and nothing wraps around the ends. Strides, byte order and
    the thread count never change a byte of the result; neither does
    splitting the array along an axis whose size stays. Float results are
    finite wherever the exact ones are: samples near the largest double are
    resized scaled by a power of two, which changes no bit of the result.

    A resize needs threads, FFT tables and work arrays (a plan). The plans
    of the last calls are kept, at most 4 of them and 1 GiB at first
    (set_plan_cache, clear_plan_cache, plan_cache_info), and serve a call
    with the same shapes, dtypes, threads and rounding again, whatever its
    strides; a call never shares a plan with another one running, and a
    forked child makes its own.

    Called from the main thread, a long resize runs on a thread of its own
    while Python's signal handlers keep running: Ctrl-C stops it within a
    fraction of a second and raises KeyboardInterrupt.

    Examples
    --------
    >>> import numpy as np, velmora
    >>> picture = np.zeros((480, 640, 3), np.uint8)
    >>> velmora.resize(picture, (960, 1280, 3)).shape
    (960, 1280, 3)
    >>> velmora.resize(np.arange(4.0), (8,))[::2].round(9)
    array([0., 1., 2., 3.])
    >>> velmora.resize([[0, 1, 2, 3]], (1, 8), dtype=np.float32)[0, ::2].round(6)
    array([0., 1., 2., 3.], dtype=float32)
    >>> out = np.empty((2, 8), np.uint16)
    >>> velmora.resize(np.full((2, 4), 7, np.uint16), (2, 8), out=out) is out
    True
    """
    return _resize(a, shape, threads, rounding, dtype, out, _plans)


class Plan:
    """One resize kept for many arrays of one shape and dtype.

    A plan makes once what every resize between its shapes needs (its
    threads, FFT tables, transform plans and work arrays) and keeps it
    until it is freed, as plans of scipy.fft or pyFFTW do for transforms.
    Calling it resizes an array as velmora.resize would, byte for byte.

    Parameters
    ----------
    shape_in : sequence of int
        The shape of the arrays to resize, of rank 1 to 8.
    shape_out : sequence of int
        The new shape, one size per axis (as `shape` of velmora.resize).
    dtype_in : dtype
        The input's dtype: uint8, uint16, float32 or float64; arrays in
        either byte order are taken.
    dtype_out : dtype, optional
        The result's dtype, one of the four, in the byte order given; by
        default `dtype_in` in native byte order.
    threads : int or None
        1 to 256 threads; None uses every CPU the process may run on. The
        plan keeps them.
    rounding : {'nearest', 'truncate'}
        As for velmora.resize.

    Attributes
    ----------
    shape_in, shape_out : tuple of int
    dtype_in : numpy.dtype
        In native byte order.
    dtype_out : numpy.dtype
    threads : int or None
    rounding : str
    nbytes : int
        The memory the plan holds: work arrays, workspaces, FFT tables and
        transform plans (the threads' stacks aside).

    Raises
    ------
    TypeError, ValueError
        The arguments, as velmora.resize checks them.
    MemoryError
        The plan's work arrays could not be allocated.
    RuntimeError
        The system refused one of its threads.
    KeyboardInterrupt
        Ctrl-C while a large plan was made.

    See Also
    --------
    resize : which keeps a few plans itself.

    Notes
    -----
    ``plan(a, out=None)`` and ``plan.execute(a, out=None)`` resize `a`, an
    array of `shape_in` and `dtype_in` (or an array-like, converted to
    `dtype_in` as velmora.resize converts), with any strides, into `out`
    (checked as velmora.resize checks it) or a new array. A plan runs one
    resize at a time: calls from several threads take turns. KeyboardInterrupt
    stops a run as it stops velmora.resize, and the plan runs again after.
    In a forked child the plan makes itself anew on its first call.

    Examples
    --------
    >>> import numpy as np, velmora
    >>> plan = velmora.Plan((480, 640), (960, 1280), np.float32, threads=1)
    >>> frames = np.ones((3, 480, 640), np.float32)
    >>> out = np.empty((960, 1280), np.float32)
    >>> for frame in frames:
    ...     bigger = plan(frame, out=out)
    >>> float(bigger[5, 7])
    1.0
    """

    def __init__(self, shape_in, shape_out, dtype_in, dtype_out=None, *, threads=None, rounding="nearest"):
        self._shape_in = _sizes(shape_in, what="shape_in")
        _check_rank(len(self._shape_in))
        self._dtype_in = _sample_dtype(np.dtype(dtype_in), "dtype_in")
        self._shape_out = _check_shape(shape_out, self._shape_in, "shape_out")
        self._dtype_out, native_out = _output_dtype(dtype_out, self._dtype_in)
        self._threads, self._rounding = threads, rounding
        self._kept = _velmora.Plan(self._shape_in, self._dtype_in, self._shape_out, native_out,
                                   _check_threads(threads), _check_rounding(rounding))
        self._native_out = native_out

    shape_in = property(lambda self: self._shape_in)
    shape_out = property(lambda self: self._shape_out)
    dtype_in = property(lambda self: self._dtype_in)
    dtype_out = property(lambda self: self._dtype_out)
    threads = property(lambda self: self._threads)
    rounding = property(lambda self: self._rounding)
    nbytes = property(lambda self: self._kept.nbytes)

    def execute(self, a, out=None):
        """Resize `a` as planned; ``plan(a, out)`` is the same.

        Parameters
        ----------
        a : array_like
            An array of `shape_in` and `dtype_in` (either byte order), with
            any strides; an array-like goes through ``np.asarray`` and, if
            it holds other numbers, is converted to `dtype_in`.
        out : numpy.ndarray, optional
            As for velmora.resize: a writable array of `shape_out` and
            `dtype_out` (either byte order), with any strides, sharing no
            memory with `a`.

        Returns
        -------
        numpy.ndarray
            `out`, or a new C-contiguous array of `shape_out` and
            `dtype_out`.

        Raises
        ------
        TypeError
            `a` of another dtype or holding no numbers; `out` not an
            ndarray or of another dtype.
        ValueError
            `a` of another shape; `out` of another shape, read-only or
            overlapping `a`; a NaN or infinity in a float input.
        KeyboardInterrupt
            Ctrl-C while the resize ran; the plan runs again after.
        """
        a, source = _as_array(a, self._dtype_in, "a velmora.Plan")
        if a.shape != self._shape_in:
            raise ValueError(f"the array has shape {a.shape}; the plan takes {self._shape_in}")
        if a.dtype.newbyteorder("=") != self._dtype_in:
            raise TypeError(f"the array has dtype {a.dtype}; the plan takes {self._dtype_in}")
        return _into(a, source, out, self._shape_out, self._dtype_out, self._native_out, self._kept.execute)

    __call__ = execute

    def __repr__(self):
        return (f"velmora.Plan({self._shape_in}, {self._shape_out}, {str(self._dtype_in)!r}, "
                f"{str(self._dtype_out)!r}, threads={self._threads!r}, rounding={self._rounding!r})")
