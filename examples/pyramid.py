#!/usr/bin/env python3
"""Build a band-limited multiscale pyramid of a Zarr array with velmora, on a Dask cluster.

usage: pyramid.py INPUT OUTPUT [--min-size N] [--scheduler ADDRESS]

INPUT is a Zarr array (uint8, uint16, float32 or float64, of any rank).
OUTPUT becomes one Zarr group with the arrays 0, 1, 2, ...: level 0 is the
input's size (a copy of it), and each level after it has every side
floor(n/2) of the level before, down to a longest side of N (default 64):
the last level is the smallest whose longest side is still N or more.
Each level is the level before resized by velmora.dask.resize, read back
from OUTPUT: band-limited, so nothing finer than a level can hold survives
in it, and nothing aliases (2 x 2 means keep a share of every frequency
above the new band, folded back as moire). The levels are chunked like the
input, and all of them go to the cluster at once.

Without --scheduler a local cluster is started with one single-threaded
worker process per CPU; with it, the work goes to that cluster, whose
workers need velmora, Dask and Zarr installed and INPUT and OUTPUT at the
same paths. Dask's progress bar shows the work; the run ends with one
summary line, or with the reason it failed and status 1.
"""
import argparse
import os
import sys
import time

try:
    import dask
    import dask.array as da
    from dask.distributed import Client, LocalCluster, progress
    from dask.graph_manipulation import bind
except ImportError:
    sys.exit("pyramid.py needs dask.distributed: apt-get install python3-distributed (or pip install distributed)")
try:
    import zarr
except ImportError:
    sys.exit("pyramid.py needs Zarr: apt-get install python3-zarr (or pip install zarr)")

import velmora.dask


def level_shapes(shape, min_size):
    """Level 0's shape, then each side halved while the longest side stays
    at least min_size and no side comes to 0."""
    shapes = [tuple(shape)]
    while True:
        smaller = tuple(n // 2 for n in shapes[-1])
        if max(smaller) < min_size or min(smaller) < 1:
            return shapes
        shapes.append(smaller)


def write_levels(client, source, target, shapes, next_level=velmora.dask.resize):
    """Starts the writes of every level on the cluster; each level after
    the first is next_level(level, shape) of the one before (velmora's
    band-limited resize; a benchmark passes its peers), read back once that
    is written."""
    group = zarr.open_group(target, mode="a")
    level = da.from_zarr(source)
    writes = []
    for k, shape in enumerate(shapes):
        chunks = tuple(min(c, n) for c, n in zip(source.chunks, shape))
        array = group.create(str(k), shape=shape, chunks=chunks, dtype=level.dtype, overwrite=True)
        made = level if k == 0 else next_level(level, shape).astype(level.dtype).rechunk(chunks)
        writes.append(client.compute(da.store(made, array, lock=False, compute=False)))
        # Bound to the write's future, not to its graph: a level's graph
        # holding the levels before it would write them again.
        level = bind(da.from_array(array, chunks=chunks, inline_array=True), dask.delayed(writes[-1]))
    return writes


def parse_min_size(text):
    try:
        size = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if size < 1:
        raise argparse.ArgumentTypeError(f"the smallest level's longest side starts at 1, not {size}")
    return size


def main():
    # The help is this file's description, below its first line and usage.
    summary, _, details = __doc__.split("\n\n", 2)
    parser = argparse.ArgumentParser(description=summary, epilog=details,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("input", metavar="INPUT", help="a Zarr array")
    parser.add_argument("output", metavar="OUTPUT", help="the Zarr group of the levels (made, or its arrays replaced)")
    parser.add_argument("--min-size", metavar="N", type=parse_min_size, default=64,
                        help="the smallest level's longest side is at least N (default 64)")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a dask.distributed scheduler (default: a local cluster)")
    arguments = parser.parse_args()
    try:
        source = zarr.open_array(arguments.input, mode="r")
    except (ValueError, KeyError, OSError):  # nothing there, a group, or not a Zarr store
        print(f"pyramid.py: {arguments.input} is not a Zarr array", file=sys.stderr)
        return 1
    shapes = level_shapes(source.shape, arguments.min_size)

    started = time.monotonic()
    cluster = None
    try:
        if not arguments.scheduler:
            cluster = LocalCluster(threads_per_worker=1, dashboard_address=None)
        with Client(arguments.scheduler or cluster) as client:
            writes = write_levels(client, source, arguments.output, shapes)
            progress(writes)
            print(flush=True)
            client.gather(writes)
    except Exception as error:  # the input's type, a level not made or written, the cluster
        print(f"pyramid.py: {error or type(error).__name__}", file=sys.stderr)
        return 1
    finally:
        if cluster is not None:
            cluster.close()
    sides = [" x ".join(map(str, shape)) for shape in (shapes[0], shapes[-1])]
    print(f"{len(shapes)} levels, {sides[0]} to {sides[1]}, in {arguments.output}, "
          f"in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
