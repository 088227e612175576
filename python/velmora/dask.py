"""velmora.resize over Dask arrays: arrays larger than a machine's memory,
resized on a dask.distributed cluster or Dask's threads.

    import dask.array as da, velmora.dask
    scan = da.from_zarr("scan.zarr")                 # 20000 x 20000, chunked 2000 x 2000
    smaller = velmora.dask.resize(scan, (10000, 10000))
    smaller.to_zarr("smaller.zarr")

The result equals velmora.resize of the whole array in one process, byte
for byte. A resize is separable: it turns every axis whose size changes
into cosine coefficients, last axis first, and then each back at its new
size in the same order, so velmora.dask does one such pass per stage, as a
task per block. A stage rechunks its array so that its own axis is whole
(a line must be whole to be transformed) and the other axes are cut into
blocks of about block_bytes, at edges that keep the pairs of lines the
library transforms together (velmora.h's forward_axis and inverse_axis);
the float64 coefficients go from stage to stage. When whole line-sets (one
index on every axis whose size stays, such as a frame of a stack) fit a
block, and there are enough of them to keep every thread busy, each block
is resized whole by velmora.resize instead, in one task.
"""
import functools
import math
import os
import re
import sys

import dask
import dask.array as da
import numpy as np
from dask.graph_manipulation import bind

from . import _check_rank, _check_rounding, _check_shape, _check_threads, _output_dtype, _sample_dtype, _type_name
from . import _velmora
from . import _resize_uncached as _resize_numpy

__all__ = ["resize", "BLOCK_BYTES"]

BLOCK_BYTES = 128 * 2**20

_INDEX = re.compile(r"at index \(([-0-9, ]*)\)")
# The library's own work arrays in a whole resize: two, each holding a set's
# largest stage in doubles (resize/array_plan.cpp).
_WORK_ARRAYS = 2


def _task_bytes(in_bytes, out_bytes):
    """What a task holds at once: Dask puts its input block together from
    pieces (of the blocks before a rechunk) in the same task, so the input
    twice, and the output."""
    return 2 * in_bytes + out_bytes


def _shifted(error, block_info):
    """The error of a block, a NaN's index in it shifted to its index in the
    whole array; None when it names no index."""
    found = _INDEX.search(str(error))
    if block_info is None or found is None:
        return None
    starts = [start for start, _ in block_info[0]["array-location"]]
    index = ", ".join(str(int(i) + start) for i, start in zip(found.group(1).split(","), starts))
    return ValueError(f"{str(error)[:found.start(1)]}{index}{str(error)[found.end(1):]}")


def _resize_block(block, *, sizes, block_info=None, **settings):
    shape = tuple(block.shape[axis] if size is None else size for axis, size in enumerate(sizes))
    try:
        return _resize_numpy(block, shape, **settings)
    except ValueError as error:
        shifted = _shifted(error, block_info)
        if shifted is None:
            raise
        raise shifted from None


def _forward_block(block, largest=None, *, axis, kept, line_axes, native, threads, block_info=None):
    """A block's lines along `axis` into their first `kept` coefficients."""
    if block.dtype != native:
        block = block.astype(native)  # the same values, so the same result
    shape = list(block.shape)
    shape[axis] = kept
    coefficients = np.empty(shape, np.float64)
    try:
        _velmora.forward_axis_into(block, coefficients, axis, line_axes, largest, threads)
    except ValueError as error:
        shifted = _shifted(error, block_info)
        if shifted is None:
            raise
        raise shifted from None
    return coefficients


def _inverse_block(block, largest=None, *, axis, length, size, line_axes, asked, native, threads, truncate):
    """A block's coefficients along `axis` into `size` samples."""
    shape = list(block.shape)
    shape[axis] = size
    out = np.empty(shape, native)
    _velmora.inverse_axis_into(block, out, axis, length, line_axes, largest, threads, truncate)
    return out if asked == native else out.astype(asked)


def _total_threads():
    """The threads that run tasks: the default client's workers' when there
    is one, else those of Dask's local scheduler."""
    distributed = sys.modules.get("distributed")
    if distributed is not None:
        try:
            threads = sum(distributed.default_client().nthreads().values())
        except ValueError:  # no client
            threads = 0
        if threads:
            return threads
    return dask.config.get("num_workers", None) or os.cpu_count() or 1


def _regular(sizes, block):
    """Chunks of `block` along each axis, the last of an axis shorter."""
    return tuple((b,) * (n // b) + ((n % b,) if n % b else ()) for n, b in zip(sizes, block))


def _block_shape(shape, budget, *, skip=(), whole=(), pair_axis=None):
    """A block's size along each axis: the axes in `skip` whole (and not
    counted); the others, from the last axis to the first, whole while the
    product of their sizes stays within `budget`, the first that would not
    cut to fit and those before it to 1, except that the axes in `whole`
    stay whole and the pair axis is cut to an even size."""
    block = list(shape)
    count = 1
    for axis in reversed(range(len(shape))):
        if axis in skip:
            continue
        if axis not in whole:
            block[axis] = max(1, min(shape[axis], budget // count))
            if axis == pair_axis and block[axis] < shape[axis]:
                block[axis] = max(2, block[axis] - block[axis] % 2)
        count *= block[axis]
    return block


def _pair_axis(shape, line_axes):
    """Where a block of lines may be cut without parting a pair (velmora.h):
    the pair axis, the innermost line axis of even size (else the outermost
    line axis), at even indices; the line axes inside it must stay whole."""
    inside = []
    for axis in sorted(line_axes, reverse=True):
        if shape[axis] % 2 == 0:
            return axis, inside
        inside.append(axis)
    return (inside[-1], inside[:-1]) if inside else (None, [])


def _stage_sizes(old, new, changing, stage):
    """The sizes of the changing axes before a stage: the old size until
    the axis's forward pass, then its coefficients, then the new size."""
    q = len(changing)
    return [old[a] if stage <= r else min(old[a], new[a]) if stage <= q + r else new[a]
            for r, a in enumerate(changing)]


def _whole_set_chunks(x, sizes, changing, itemsize, block_bytes, tasks):
    """The chunks with which each block of x holds whole line-sets and is
    resized in one task, or None when a set is too large for a block or
    too few sets would keep the threads busy. x's own chunks serve when
    they are regular and fit."""
    sets = math.prod(n for axis, n in enumerate(x.shape) if axis not in changing)
    if sets < tasks:
        return None
    # A set's samples in and out, and the library's work arrays, which
    # hold the set's largest stage.
    stages = (math.prod(_stage_sizes(x.shape, sizes, changing, s)) for s in range(1, 2 * len(changing)))
    per_set = _task_bytes(math.prod(x.shape[a] for a in changing) * x.dtype.itemsize,
                          math.prod(sizes[a] for a in changing) * itemsize) + _WORK_ARRAYS * 8 * max(stages)
    budget = 2 * block_bytes // per_set
    if budget < 1:
        return None
    fits = all(len(x.chunks[a]) == 1 for a in changing) and all(
        all(c == chunks[0] for c in chunks[:-1]) and chunks[-1] <= chunks[0] for chunks in x.chunks)
    if fits and math.prod(x.chunksize[a] for a in range(x.ndim) if a not in changing) <= budget and \
            x.npartitions >= tasks:
        return x.chunks
    return _regular(x.shape, _block_shape(x.shape, min(budget, sets // tasks), skip=changing))


def _largest(x, changing):
    """Each line-set's largest magnitude, for a float64 input that velmora
    scales near overflow; NaNs and infinities count as 0, so that the first
    pass finds them at their index."""
    magnitudes = da.where(da.isfinite(x), abs(x), 0)
    return magnitudes.max(axis=tuple(changing), keepdims=True)


def resize(x, shape, *, threads=1, rounding="nearest", dtype=None, block_bytes=BLOCK_BYTES):
    """Resize a Dask array band-limited, by the mirror method, lazily, in
    blocks of bounded size: the same bytes as velmora.resize of the whole
    array.

    Parameters
    ----------
    x : dask.array.Array
        uint8, uint16, float32 or float64 samples, in either byte order, of
        rank 1 to 8, with any chunks (from ``da.from_zarr``, say).
    shape : sequence of int
        The new size of every axis, as for velmora.resize.
    threads : int or None
        Threads of each task (default 1, since Dask runs several tasks at
        once; None uses every CPU). They never change a byte.
    rounding : {'nearest', 'truncate'}
        For integer outputs, as for velmora.resize.
    dtype : dtype, optional
        The output's dtype, one of the four; by default that of `x`.
    block_bytes : int
        The size of the blocks (default 128 MiB): a task's input block,
        counted twice (Dask puts it together from pieces in the same
        task), and its output block hold at most 2 * block_bytes together.
        With the library's work arrays, a task stays within about 2.5 *
        block_bytes above a worker's idle memory, unless single lines take
        more.

    Returns
    -------
    dask.array.Array
        The resized array, lazy, with regular chunks (every chunk of an
        axis the same size but the last), so that ``da.to_zarr`` takes it
        as it is.

    Raises
    ------
    TypeError
        `x` is not a Dask array, or as for velmora.resize; `block_bytes`
        is not an integer.
    ValueError
        As for velmora.resize; `block_bytes` below 1. A NaN or infinity is
        found when the block that holds it is computed, and reported at its
        index in the whole array.

    Notes
    -----
    One stage per pass of the resize: along every axis whose size changes
    the samples become float64 cosine coefficients, last axis first, and
    then samples at the new size, in the same order. Each stage rechunks
    its array so that its own axis is whole and the other axes are cut into
    blocks of about `block_bytes`, at edges that keep the lines the library
    pairs in one transform together, and into at least two blocks per
    thread of the default client's workers (or of Dask's local scheduler)
    where the array allows. So a task holds a few lines of each axis at a
    time, and an array larger than any worker's memory goes through a
    cluster (between stages, Dask moves and, if it must, spills the
    coefficients). When whole line-sets (one index on every axis whose
    size stays, such as the frames of a stack) fit a block and there are
    enough of them, each block is resized whole by velmora.resize in one
    task, and x's chunks are kept where they fit.

    A float64 input near overflow (2^896 and above) is scaled per line-set
    as velmora.resize scales it: for float64 inputs each set's largest
    magnitude is found first, by a reduction over x that reads x once more
    before the stages start.

    Examples
    --------
    >>> import dask.array as da, numpy as np, velmora, velmora.dask
    >>> a = np.random.default_rng(0).random((300, 400)).astype(np.float32)
    >>> x = da.from_array(a, chunks=(100, 100))
    >>> y = velmora.dask.resize(x, (600, 200), block_bytes=2**18)
    >>> y.shape, y.dtype
    ((600, 200), dtype('float32'))
    >>> bool((y.compute() == velmora.resize(a, (600, 200))).all())
    True
    """
    if not isinstance(x, da.Array):
        raise TypeError(f"velmora.dask.resize takes a Dask array, not {_type_name(x)}")
    _check_rank(x.ndim)
    native_in = _sample_dtype(x.dtype, "the array's dtype")
    sizes = _check_shape(shape, x.shape)
    threads = _check_threads(threads)
    truncate = _check_rounding(rounding)
    asked, native_out = _output_dtype(dtype, native_in)
    if isinstance(block_bytes, (bool, np.bool_)) or not isinstance(block_bytes, (int, np.integer)):
        raise TypeError(f"block_bytes must be an integer, not {_type_name(block_bytes)}")
    if block_bytes < 1:
        raise ValueError(f"block_bytes is {block_bytes}; it starts at 1")
    changing = [axis for axis in reversed(range(x.ndim)) if sizes[axis] != x.shape[axis]]
    meta = np.empty((0,) * x.ndim, asked)
    tasks = 2 * _total_threads()
    chunks = x.chunks if not changing else \
        _whole_set_chunks(x, sizes, changing, asked.itemsize, block_bytes, tasks)
    if chunks is not None:
        x = x.rechunk(chunks, block_size_limit=block_bytes)
        block = functools.partial(_resize_block, sizes=tuple(sizes[a] if a in changing else None
                                                             for a in range(x.ndim)),
                                  threads=threads or None, rounding=rounding, dtype=asked)
        out_chunks = tuple((sizes[a],) if a in changing else x.chunks[a] for a in range(x.ndim))
        return x.map_blocks(block, dtype=asked, chunks=out_chunks, meta=meta, name="velmora-resize")
    return _resize_by_stages(x, sizes, changing, native_in, asked, native_out, threads, truncate, block_bytes, tasks)


def _resize_by_stages(x, sizes, changing, native_in, asked, native_out, threads, truncate, block_bytes, tasks):
    """One task per block and pass: forward along each changing axis (last
    first), then back along each."""
    largest = None
    if native_in == np.float64:
        largest = _largest(x, changing)
        # The stages read x again once the reduction is done, instead of
        # holding all of it meanwhile.
        x = bind(x, largest)
    q = len(changing)
    shape = list(x.shape)
    stage = x
    for j in range(2 * q):
        axis, inverse = changing[j % q], j >= q
        line_axes = [a for a in changing if a != axis]
        mask = sum(1 << a for a in line_axes)
        size = sizes[axis] if inverse else min(x.shape[axis], sizes[axis])
        last = j == 2 * q - 1
        in_bytes = shape[axis] * (native_in.itemsize if j == 0 else 8)
        out_bytes = size * (asked.itemsize if last else 8)
        lines = math.prod(n for a, n in enumerate(shape) if a != axis)
        budget = max(1, min(2 * block_bytes // _task_bytes(in_bytes, out_bytes), -(-lines // tasks)))
        pair_axis, inside = _pair_axis(shape, line_axes)
        # Dask's plan may pass through chunks of its own: no larger than ours.
        stage = stage.rechunk(_regular(shape, _block_shape(shape, budget, skip=(axis,), whole=inside,
                                                           pair_axis=pair_axis)), block_size_limit=block_bytes)
        out_chunks = stage.chunks[:axis] + ((size,),) + stage.chunks[axis + 1:]
        arguments = [stage]
        if largest is not None and (j == 0 or last):
            arguments.append(largest.rechunk(_set_chunks(stage.chunks, changing)))
        if inverse:
            block = functools.partial(_inverse_block, axis=axis, length=x.shape[axis], size=size, line_axes=mask,
                                      asked=asked if last else np.dtype(np.float64),
                                      native=native_out if last else np.dtype(np.float64), threads=threads,
                                      truncate=truncate)
        else:
            block = functools.partial(_forward_block, axis=axis, kept=size, line_axes=mask,
                                      native=native_in if j == 0 else np.dtype(np.float64), threads=threads)
        dtype = asked if last else np.dtype(np.float64)
        stage = da.map_blocks(block, *arguments, dtype=dtype, chunks=out_chunks, meta=np.empty((0,) * x.ndim, dtype),
                              name=f"velmora-{'inverse' if inverse else 'forward'}-axis{axis}")
        shape[axis] = size
    return stage


def _set_chunks(chunks, changing):
    """The chunks of the largest magnitudes beside a stage's blocks: one of
    size 1 along each changing axis, the stage's along the others."""
    return tuple(((1,) if axis in changing else c) for axis, c in enumerate(chunks))
