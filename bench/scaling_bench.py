#!/usr/bin/env python3
"""How whole runs scale with the thread count: velmora beside ImageMagick's
Lanczos resize of the same BMP picture to the same size with the same
thread limit, the two taking turns run by run.

    bench/scaling_bench.py [--runs N] [--threads 1,2,16] [--cases WxH:W'xH',...] [--format bmp|png]
                           [path/to/velmora]

For each case and thread count it prints the median wall, user and system
time and minor page faults of velmora's runs (from wait4, so each figure is
the child's own), ImageMagick's median wall time and faults, the median of
the runs' time ratios, and how much faster each tool runs than on its first
thread count. --format png writes PNG files instead of BMP (both tools
read the same BMP picture). System time that grows with the threads, or faults that do,
are fresh memory faulted in by many threads at once. Needs NumPy; without
ImageMagick's convert the peer's columns are left empty.
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np


def picture(width, height):
    """Smooth areas, edges and a little noise, as a photograph has."""
    y, x = np.mgrid[0:height, 0:width].astype(np.float32)
    noise = np.random.default_rng(1).normal(0, 6, (height, width, 3))
    rgb = np.empty((height, width, 3), np.uint8)
    for c in range(3):
        v = 120 + 80 * np.sin(0.013 * x * (c + 1) + 0.021 * y) + ((x // 37 + y // 29) % 2) * 30 + noise[:, :, c]
        rgb[:, :, c] = np.clip(v, 0, 255)
    return rgb


def write_bmp(path, rgb):
    height, width, _ = rgb.shape
    row = (width * 3 + 3) & ~3
    head = b"BM" + struct.pack("<IHHI", 54 + row * height, 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, row * height, 2835, 2835, 0, 0)
    rows = np.zeros((height, row), np.uint8)
    rows[:, :width * 3] = rgb[::-1, :, ::-1].reshape(height, width * 3)
    with open(path, "wb") as out:
        out.write(head + rows.tobytes())


def run(command):
    """Wall, user and system seconds and minor faults of one child run."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as quiet:
        child = subprocess.Popen(command, stdout=quiet, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"scaling_bench: {' '.join(command)} failed: {child.stderr.read().decode(errors='replace')[-300:]}")
    child.stderr.close()
    return wall, usage.ru_utime, usage.ru_stime, usage.ru_minflt


def parse_case(text):
    before, after = text.split(":")
    w, h = (int(v) for v in before.split("x"))
    w2, h2 = (int(v) for v in after.split("x"))
    return w, h, w2, h2


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tool", nargs="?", default=os.path.join(here, "..", "build", "velmora"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--threads", default=None, help="thread counts, comma separated (default 1, 2, 4, ... to "
                        "the CPUs, and 16)")
    parser.add_argument("--cases", default="2048x1536:4096x3072,3072x2304:6144x4608")
    parser.add_argument("--format", choices=("bmp", "png"), default="bmp")
    args = parser.parse_args()
    cpus = len(os.sched_getaffinity(0))
    if args.threads:
        counts = [int(t) for t in args.threads.split(",")]
    else:
        counts = sorted({1 << k for k in range(0, 5) if 1 << k <= cpus} | {cpus, 16})
    peer = shutil.which("convert")
    work = tempfile.mkdtemp(prefix="velmora-scaling-")
    peer_format = "BMP3" if args.format == "bmp" else "PNG"
    print(f"{cpus} CPUs; {args.format.upper()} output; median of {args.runs} runs; "
          "ratio = velmora time / ImageMagick time, run by run")
    print("| case | threads | velmora wall | user | system | faults | ImageMagick wall | faults | ratio "
          "| velmora speed-up | ImageMagick speed-up |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    try:
        for case in args.cases.split(","):
            w, h, w2, h2 = parse_case(case)
            source = os.path.join(work, "in.bmp")
            write_bmp(source, picture(w, h))
            first = None
            for threads in counts:
                ours, theirs = [], []
                for _ in range(args.runs):
                    ours.append(run([args.tool, "-i", source, "-o", os.path.join(work, "out"), "-sizexminus",
                                     str(w2 - w), "-sizexminusy", str(h2 - h), "-threads", str(threads),
                                     "-format", args.format]))
                    if peer:
                        theirs.append(run([peer, "-limit", "thread", str(threads), source, "-filter", "Lanczos",
                                           "-resize", f"{w2}x{h2}!",
                                           peer_format + ":" + os.path.join(work, "peer." + args.format)]))
                mid = [statistics.median(r[k] for r in ours) for k in range(4)]
                peer_wall = statistics.median(r[0] for r in theirs) if peer else None
                peer_faults = statistics.median(r[3] for r in theirs) if peer else None
                ratio = statistics.median(a[0] / b[0] for a, b in zip(ours, theirs)) if peer else None
                first = first or (mid[0], peer_wall)
                cells = [f"{w}x{h} -> {w2}x{h2}", str(threads), f"{mid[0]:.3f} s", f"{mid[1]:.2f} s", f"{mid[2]:.2f} s",
                         f"{mid[3] / 1000:.1f} k",
                         f"{peer_wall:.3f} s" if peer else "-", f"{peer_faults / 1000:.1f} k" if peer else "-",
                         f"{ratio:.2f}" if peer else "-", f"{first[0] / mid[0]:.2f}",
                         f"{first[1] / peer_wall:.2f}" if peer else "-"]
                print("| " + " | ".join(cells) + " |", flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
