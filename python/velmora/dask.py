"""velmora.resize over Dask arrays, for stacks larger than memory or work
spread over a dask.distributed cluster.

    import dask.array as da, velmora.dask
    frames = da.from_zarr("frames.zarr")            # (frames, H, W), chunked by frame
    bigger = velmora.dask.resize(frames, (frames.shape[0], 2 * H, 2 * W))
    bigger.to_zarr("bigger.zarr")

Each resized axis becomes one chunk (a line must be whole to be resized);
the chunks along the other axes are kept, and each block is resized by
velmora.resize where Dask runs it. The result is the same, byte for byte,
as velmora.resize of the whole array computed in one process, whatever the
chunks along the unchanged axes.
"""
import functools
import re

import dask.array as da
import numpy as np

from . import _check_rank, _check_rounding, _check_shape, _check_threads, _output_dtype, _sample_dtype, _type_name
from . import _resize_uncached as _resize_numpy

__all__ = ["resize"]


_INDEX = re.compile(r"at index \(([-0-9, ]*)\)")


def _resize_block(block, *, sizes, block_info=None, **settings):
    shape = tuple(block.shape[axis] if size is None else size for axis, size in enumerate(sizes))
    try:
        return _resize_numpy(block, shape, **settings)
    except ValueError as error:
        # A NaN's index within the block, shifted to its index in the array.
        found = _INDEX.search(str(error))
        if block_info is None or found is None:
            raise
        starts = [start for start, _ in block_info[0]["array-location"]]
        index = ", ".join(str(int(i) + start) for i, start in zip(found.group(1).split(","), starts))
        raise ValueError(f"{str(error)[:found.start(1)]}{index}{str(error)[found.end(1):]}") from None


def resize(x, shape, *, threads=1, rounding="nearest", dtype=None):
    """Resize a Dask array band-limited, by the mirror method: lazily, block
    by block, as velmora.resize would resize the whole array.

    x is rechunked so that every axis whose size changes is one chunk; keep
    the blocks small by chunking along the axes whose size stays (a stack of
    frames along its frame axis). Each block runs on `threads` threads
    (default 1, because Dask already runs several blocks at once; None uses
    every CPU). The other arguments, the checks and the exceptions are those
    of velmora.resize; a NaN or infinity is found only when the block that
    holds it is computed, and reported at its index in the whole array.
    """
    if not isinstance(x, da.Array):
        raise TypeError(f"velmora.dask.resize takes a Dask array, not {_type_name(x)}")
    _check_rank(x.ndim)
    native_in = _sample_dtype(x.dtype, "the array's dtype")
    sizes = _check_shape(shape, x.shape)
    _check_threads(threads)
    _check_rounding(rounding)
    asked, _ = _output_dtype(dtype, native_in)
    changing = [axis for axis in range(x.ndim) if sizes[axis] != x.shape[axis]]
    x = x.rechunk({axis: -1 for axis in changing})
    chunks = tuple((sizes[axis],) if axis in changing else x.chunks[axis] for axis in range(x.ndim))
    block = functools.partial(_resize_block, sizes=tuple(sizes[a] if a in changing else None for a in range(x.ndim)),
                              threads=threads, rounding=rounding, dtype=asked)
    return x.map_blocks(block, dtype=asked, chunks=chunks, meta=np.empty((0,) * x.ndim, asked),
                        name="velmora-resize")
