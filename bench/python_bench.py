#!/usr/bin/env python3
"""velmora.resize timed next to the resamplers people use from Python, in one
run, on one thread and on every CPU. velmora itself four ways:

  velmora   velmora.resize called again on the same shapes: it finds the
            plan (threads, tables, work arrays) the call before kept;
  first     velmora.resize with no plan kept (the cache emptied first), so
            that it makes one;
  Plan      a velmora.Plan made once, called on the array (a new output
            each time, as velmora.resize allocates);
  Plan out  the same Plan writing into one kept output array: the resize
            alone.

and its peers:

  resample  scipy.signal.resample along each resized axis, one after the
            other (periodic, so it computes something else: only its time
            is compared), with scipy.fft's workers set to the thread count;
  zoom      scipy.ndimage.zoom(order=3), a cubic spline (one thread always);
  Pillow    Image.resize(..., LANCZOS), for uint8 pictures only (one thread
            always; the picture is made outside the timing).

The tools take turns within each run (in an order that rotates from run to
run), every one once untimed first, and a tool that takes less than two
seconds once more untimed right before each timed call, so that its memory
is at hand (faulting in memory another tool has just released can cost a
virtual machine more than the computation). A figure is the median of the
runs, and a ratio (another column's time over velmora's, a call of
velmora.resize again, so above 1 means that call is faster) the median of
the runs' ratios. A tool that fails
shows why.

usage: PYTHONPATH=build/python bench/python_bench.py [--runs N] [--cases NAME,...]

Prints a line per case and thread count as it goes, then the table for the
README.
Needs the module built in build/ and the Debian packages python3-scipy and
python3-pil. Run it on a quiet machine: only ratios within one run mean much.
"""
import argparse
import statistics
import time

import numpy as np
import scipy.fft
import scipy.ndimage
import scipy.signal

import velmora

try:
    from PIL import Image
except ImportError:
    Image = None

WARM_BELOW = 2.0  # seconds

CASES = {
    "rgb64": ("float64 768 x 1024 x 3 -> 3072 x 4096 x 3", np.float64, (768, 1024, 3), (3072, 4096, 3)),
    "prime": ("float64 100003 -> 300007 (primes)", np.float64, (100003,), (300007,)),
    "volume": ("float32 128^3 -> 256^3", np.float32, (128, 128, 128), (256, 256, 256)),
    "picture": ("uint8 1024 x 768 x 3 picture -> 4096 x 3072", np.uint8, (768, 1024, 3), (3072, 4096, 3)),
    "square": ("float32 2048 x 2048 -> 4096 x 4096", np.float32, (2048, 2048), (4096, 4096)),
}
PEERS = ["first", "Plan", "Plan out", "resample", "zoom", "Pillow"]


def samples(dtype, shape):
    values = np.random.default_rng(5).random(shape)
    return (values * 255).astype(dtype) if dtype == np.uint8 else values.astype(dtype)


def tools(a, shape, threads):
    """The calls to time, by name; None for a tool that does not apply."""
    def by_velmora():
        velmora.resize(a, shape, threads=threads)

    def by_first_call():
        velmora.clear_plan_cache()
        velmora.resize(a, shape, threads=threads)

    plan = velmora.Plan(a.shape, shape, a.dtype, threads=threads)
    kept_out = np.empty(shape, a.dtype)

    def by_resample():
        with scipy.fft.set_workers(threads):
            x = a
            for axis, size in enumerate(shape):
                if size != x.shape[axis]:
                    x = scipy.signal.resample(x, size, axis=axis)

    def by_zoom():
        scipy.ndimage.zoom(a, [new / old for new, old in zip(shape, a.shape)], order=3)

    calls = {"velmora": by_velmora, "first": by_first_call, "Plan": lambda: plan(a),
             "Plan out": lambda: plan(a, out=kept_out), "resample": by_resample, "zoom": by_zoom, "Pillow": None}
    if a.dtype == np.uint8 and Image is not None:
        picture = Image.fromarray(a)
        calls["Pillow"] = lambda: picture.resize((shape[1], shape[0]), Image.LANCZOS)
    return calls


def timed(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def measure(a, shape, threads, runs):
    """Each tool's times, or the reason it failed."""
    calls = {name: call for name, call in tools(a, shape, threads).items() if call}
    times = {name: [] for name in calls}
    failed, last = {}, {}
    for name, call in calls.items():
        try:
            last[name] = timed(call)
        except Exception as error:  # reported in the table
            failed[name] = f"{type(error).__name__}: {error}"
    names = [name for name in calls if name not in failed]
    for run in range(runs):
        for name in names[run % len(names):] + names[:run % len(names)]:
            # On a virtual machine, memory that another tool has just
            # released can cost more to fault in again than the computation
            # itself: a short call is run once untimed right before.
            if last[name] < WARM_BELOW:
                calls[name]()
            last[name] = timed(calls[name])
            times[name].append(last[name])
    return times, failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--cases", default=",".join(CASES), help="some of " + ", ".join(CASES))
    arguments = parser.parse_args()
    every = velmora.available_threads()
    rows = []
    for case in arguments.cases.split(","):
        title, dtype, old, new = CASES[case]
        a = samples(dtype, old)
        for threads in sorted({1, every}):
            times, failed = measure(a, new, threads, arguments.runs)
            row = {"case": title, "threads": threads}
            for name in ["velmora"] + PEERS:
                if name in failed:
                    row[name] = "fails"
                    print(f"# {title}, {threads} threads: {name} fails: {failed[name]}")
                elif times.get(name):
                    row[name] = "%.3f s" % statistics.median(times[name])
                    if name != "velmora" and times.get("velmora"):
                        row[name] += " (%.1f)" % statistics.median(
                            [peer / own for peer, own in zip(times[name], times["velmora"])])
                else:
                    row[name] = "-"
            rows.append(row)
            print(f"{title:45} {threads:2} threads  velmora {row['velmora']:10}" +
                  "".join(f"  {name} {row[name]:18}" for name in PEERS), flush=True)
    print()
    print("| resize | threads | velmora.resize, again | first call | Plan | Plan, out= | scipy.signal.resample | "
          "scipy.ndimage.zoom(order=3) | Pillow LANCZOS |")
    print("|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        print("| {case} | {threads} | {velmora} | ".format(**row) + " | ".join(row[name] for name in PEERS) + " |")


if __name__ == "__main__":
    main()
