#!/usr/bin/env python3
"""velmora.dask on local clusters of two worker processes, each case beside
its peer in the same run:

  throughput  3072^2 float32 in chunks of 512^2, persisted, resized to
              6144^2 on two single-threaded workers (and kept there),
              beside velmora.resize(..., threads=2) of the whole array in
              memory: the runs take turns, each call once untimed right
              before (as in python_bench.py); the median times and the
              median of the runs' ratios.
  memory      16384^2 float32 (1 GiB) in Zarr, chunked 2048^2, enlarged to
              32768^2 (4 GiB) and written to Zarr on two workers of
              memory_limit 1.5 GiB: the time, each worker's idle and peak
              resident memory (sampled every 20 ms from outside) and
              whether a worker was restarted. Needs 12 GiB free in the
              scratch folder.
  pyramid     examples/pyramid.py on a 16384^2 uint16 zone plate in Zarr
              (chunked 2048^2; its frequency rises from 0 at the centre to
              the Nyquist frequency at the edges) beside the same levels
              made the same way by dask.array.coarsen's 2 x 2 means, both
              on a local cluster of their own, started within the timing.
              Aliasing: the RMS about mid-grey of each level beyond 1.25
              times its band's edge, where a band-limited level is flat
              and means leave moire.
  footprint   one task of each stage of the memory case, in a fresh
              process: its input block put together from 16 pieces, and
              the stage, the peak resident memory above the process's idle
              memory beside 2.5 x block_bytes.

usage: PYTHONPATH=build/python bench/dask_bench.py [--runs N] [--cases NAME,...] [--scratch DIR] [--keep]

--keep leaves the pyramids in the scratch folder for
docs/pyramid_aliasing.py. The machine is shared and noisy: only figures
within one run compare.
"""
import argparse
import functools
import multiprocessing
import os
import resource
import shutil
import statistics
import sys
import tempfile
import threading
import time

import dask
import dask.array as da
import numpy as np
import psutil
import zarr
from dask.distributed import Client, LocalCluster, wait

import velmora
import velmora.dask

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
GiB = 2**30


def timed(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def throughput(runs):
    a = np.random.default_rng(5).random((3072, 3072)).astype(np.float32)
    new = (6144, 6144)
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, Client(cluster):
        x = da.from_array(a, chunks=512).persist()
        wait(x)

        def on_cluster():
            wait(velmora.dask.resize(x, new).persist())

        calls = {"in memory": lambda: velmora.resize(a, new, threads=2), "cluster": on_cluster}
        times = {name: [] for name in calls}
        for run in range(runs):
            for name in list(calls)[run % 2:] + list(calls)[:run % 2]:
                calls[name]()
                times[name].append(timed(calls[name]))
    ratio = statistics.median(c / m for c, m in zip(times["cluster"], times["in memory"]))
    print(f"throughput: 3072^2 -> 6144^2 float32: in memory (2 threads) {statistics.median(times['in memory']):.3f} s, "
          f"2 single-threaded workers {statistics.median(times['cluster']):.3f} s, ratio {ratio:.2f} "
          f"(runs: {[round(t, 3) for t in times['in memory']]} / {[round(t, 3) for t in times['cluster']]})")


class PeakMemory:
    """Each worker's largest resident memory, sampled from outside."""

    def __init__(self, pids, interval=0.02):
        self.processes = {address: psutil.Process(pid) for address, pid in pids.items()}
        self.peaks = {address: 0 for address in pids}
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.sample, args=(interval,))
        self.thread.start()

    def sample(self, interval):
        while not self.done.wait(interval):
            for address, process in self.processes.items():
                try:
                    self.peaks[address] = max(self.peaks[address], process.memory_info().rss)
                except psutil.NoSuchProcess:  # restarted: the pid check reports it
                    pass

    def stop(self):
        self.done.set()
        self.thread.join()
        return self.peaks


def memory(scratch):
    free = shutil.disk_usage(scratch).free
    print(f"memory: {free / GiB:.0f} GiB free in {scratch}")
    if free < 12 * GiB:
        print("memory: skipped, it needs 12 GiB")
        return
    source, target = os.path.join(scratch, "in.zarr"), os.path.join(scratch, "out.zarr")
    try:
        noise = da.random.RandomState(3).random_sample((16384, 16384), chunks=2048).astype(np.float32)
        noise.to_zarr(source, overwrite=True, compute=False).compute(scheduler="threads")
        with LocalCluster(n_workers=2, threads_per_worker=1, memory_limit="1.5GiB", local_directory=scratch,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            pids = client.run(os.getpid)
            idle = {address: psutil.Process(pid).memory_info().rss for address, pid in pids.items()}
            sampler = PeakMemory(pids)
            started = time.perf_counter()
            velmora.dask.resize(da.from_zarr(source), (32768, 32768)).to_zarr(target, overwrite=True)
            took = time.perf_counter() - started
            peaks = sampler.stop()
            restarted = client.run(os.getpid) != pids
        print(f"memory: 16384^2 -> 32768^2 float32, Zarr to Zarr, 2 workers of 1.5 GiB: {took:.1f} s; "
              f"idle {', '.join(f'{m / 2**20:.0f}' for m in idle.values())} MiB, peak "
              f"{', '.join(f'{m / 2**20:.0f}' for m in peaks.values())} MiB of 1536; "
              f"{'a worker was restarted' if restarted else 'no worker restarted'}")
    finally:
        shutil.rmtree(source, ignore_errors=True)
        shutil.rmtree(target, ignore_errors=True)


def zone_plate_block(block_info=None, size=16384):
    (y0, y1), (x0, x1) = block_info[None]["array-location"]
    y, x = np.ogrid[y0:y1, x0:x1]
    centre = size / 2
    phase = np.pi * ((x - centre) ** 2 + (y - centre) ** 2) / size
    return np.rint(32767.5 + 32767 * np.cos(phase)).astype(np.uint16)


def coarsen(level, shape):
    """A level as 2 x 2 means, rounded: the peer of velmora's resize."""
    return da.round(da.coarsen(np.mean, level, {0: 2, 1: 2}, trim_excess=True))


def by_coarsen(source, target):
    sys.path.insert(0, EXAMPLES)
    import pyramid
    array = zarr.open_array(source, mode="r")
    with LocalCluster(threads_per_worker=1, dashboard_address=None) as cluster, Client(cluster) as client:
        shapes = pyramid.level_shapes(array.shape, 64)
        client.gather(pyramid.write_levels(client, array, target, shapes, next_level=coarsen))


def by_pyramid(source, target):
    sys.path.insert(0, EXAMPLES)
    import pyramid
    saved = sys.argv
    sys.argv = ["pyramid.py", source, target]
    try:
        assert pyramid.main() == 0
    finally:
        sys.argv = saved


def aliasing(level, k, size=16384):
    """The RMS about mid-grey of level k beyond 1.25 times its band's edge:
    the zone plate's frequency at distance d from the centre is d / size
    cycles per sample, so level k holds it while d < size / 2^(k + 1)."""
    n = level.shape[0]
    edge = 1.25 * size / 2 ** (2 * k + 1)
    offsets = np.abs(np.arange(n) - n / 2)
    beyond = (offsets[:, None] > edge) | (offsets[None, :] > edge)
    return float(np.sqrt(np.mean((level[beyond].astype(np.float64) - 32767.5) ** 2)))


def pyramid_case(scratch, runs, keep):
    source = os.path.join(scratch, "zone_plate.zarr")
    targets = {"velmora": os.path.join(scratch, "velmora_pyramid.zarr"),
               "coarsen": os.path.join(scratch, "coarsen_pyramid.zarr")}
    calls = {"velmora": by_pyramid, "coarsen": by_coarsen}
    try:
        plate = da.map_blocks(zone_plate_block, chunks=((2048,) * 8,) * 2, dtype=np.uint16)
        plate.to_zarr(source, overwrite=True, compute=False).compute(scheduler="threads")
        times = {name: [] for name in calls}
        for run in range(runs):
            for name in list(calls)[run % 2:] + list(calls)[:run % 2]:
                times[name].append(timed(functools.partial(calls[name], source, targets[name])))
        ratio = statistics.median(v / c for v, c in zip(times["velmora"], times["coarsen"]))
        print(f"pyramid: 16384^2 uint16 zone plate, levels to 64^2: examples/pyramid.py "
              f"{statistics.median(times['velmora']):.1f} s, coarsen means {statistics.median(times['coarsen']):.1f} s, "
              f"ratio {ratio:.2f}")
        made = {name: zarr.open_group(target, mode="r") for name, target in targets.items()}
        for k in range(1, 5):
            rms = {name: aliasing(group[str(k)][:], k) for name, group in made.items()}
            print(f"pyramid: level {k} ({made['velmora'][str(k)].shape[0]}^2) beyond its band, RMS about mid-grey: "
                  f"velmora {rms['velmora']:.0f}, coarsen means {rms['coarsen']:.0f} (of a zone plate's 23170)")
    finally:
        shutil.rmtree(source, ignore_errors=True)
        if not keep:
            for target in targets.values():
                shutil.rmtree(target, ignore_errors=True)


def stage_footprint(block, in_shape, in_dtype, axis, pieces, answer):
    """Runs in a fresh process: the pieces of a stage's input block, the
    block, the stage; the peak resident memory above the idle one."""
    idle = psutil.Process().memory_info().rss
    parts = [np.ones(part.shape, in_dtype) for part in np.array_split(np.empty(in_shape, np.uint8), pieces, axis)]
    block(np.concatenate(parts, axis=axis))
    answer.put(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 - idle)


def footprint():
    """Records the stages velmora.dask makes for the memory case, then
    runs one task of each."""
    stages = []
    original = da.map_blocks

    def recording(block, *arrays, **settings):
        stages.append((block, arrays[0].chunksize, arrays[0].dtype))
        return original(block, *arrays, **settings)

    da.map_blocks = recording
    try:
        # Blocks for two threads, as on the memory case's cluster.
        with dask.config.set(num_workers=2):
            velmora.dask.resize(da.zeros((16384, 16384), dtype=np.float32, chunks=2048), (32768, 32768))
    finally:
        da.map_blocks = original
    spawn = multiprocessing.get_context("spawn")
    limit = 2.5 * velmora.dask.BLOCK_BYTES
    for block, in_shape, in_dtype in stages:
        answer = spawn.Queue()
        # The pieces come from the blocks of the stage before, cut across
        # this stage's axis.
        process = spawn.Process(target=stage_footprint, args=(block, in_shape, in_dtype, block.keywords["axis"], 16,
                                                              answer))
        process.start()
        used = answer.get()
        process.join()
        name = f"{block.func.__name__.strip('_').split('_')[0]} axis {block.keywords['axis']}"
        print(f"footprint: {name}, block {in_shape} {np.dtype(in_dtype).name}: {used / 2**20:.0f} MiB above idle, "
              f"{used / limit:.2f} of 2.5 x block_bytes")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5, help="runs of throughput; pyramid takes a third as many")
    cases = ["throughput", "memory", "pyramid", "footprint"]
    parser.add_argument("--cases", default=",".join(cases), help="some of " + ", ".join(cases))
    parser.add_argument("--scratch", default=tempfile.gettempdir(), help="a folder for the Zarr arrays")
    parser.add_argument("--keep", action="store_true", help="leave the pyramids in the scratch folder")
    arguments = parser.parse_args()
    for case in arguments.cases.split(","):
        if case == "throughput":
            throughput(arguments.runs)
        elif case == "memory":
            memory(arguments.scratch)
        elif case == "pyramid":
            pyramid_case(arguments.scratch, max(1, arguments.runs // 3), arguments.keep)
        elif case == "footprint":
            footprint()
        else:
            parser.error(f"no case {case}; the cases are " + ", ".join(cases))


if __name__ == "__main__":
    main()
