#!/usr/bin/env python3
"""Resize every picture of a folder with velmora, on a dask.distributed cluster.

usage: resize_folder.py SRC DST (--scale F | --size WxH) [--scheduler ADDRESS] [--threads N]

Every file of SRC whose name Pillow knows as a picture is resized and
written to DST under the same name and format. Without --scheduler a local
cluster is started with one single-threaded worker process per CPU; with
it, the pictures go to that cluster's workers, which need velmora and
Pillow installed and SRC and DST at the same paths. A picture that cannot
be read, resized or written is reported with its reason and skipped. The
run ends with one summary line, and status 1 if any picture failed.

Pillow reads and writes the files: 8-bit grey, grey with alpha, RGB, RGBA,
CMYK and YCbCr pictures are resized as uint8 channels, 16-bit grey ones as
uint16, 32-bit float ones as float32; palette and bilevel pictures become
RGB(A) and grey first.
"""
import argparse
import os
import sys
import time

try:
    from PIL import Image
except ImportError:
    sys.exit("resize_folder.py needs Pillow to read and write pictures: apt-get install python3-pil "
             "(or pip install pillow)")
try:
    from dask.distributed import Client, LocalCluster, progress
except ImportError:
    sys.exit("resize_folder.py needs dask.distributed: apt-get install python3-distributed "
             "(or pip install distributed)")
import numpy as np

import velmora


def picture_samples(image):
    """The picture's samples as an array velmora takes, and how to make a
    picture of the same kind from a resized array."""
    if image.mode in ("1", "P", "PA"):
        image = image.convert("L" if image.mode == "1" else "RGBA" if image.mode == "PA" or
                              "transparency" in image.info else "RGB")
    samples = np.asarray(image)
    if image.mode == "I":
        # 16-bit grey files open as 32-bit integers.
        if samples.min() >= 0 and samples.max() <= 65535:
            return samples.astype(np.uint16), lambda out: Image.fromarray(out)
        return samples.astype(np.float64), lambda out: Image.fromarray(
            np.rint(np.clip(out, -2**31, 2**31 - 1)).astype(np.int32), "I")
    if samples.dtype not in (np.uint8, np.uint16, np.float32):
        raise ValueError(f"pictures of mode {image.mode} are not resized")
    mode = image.mode if samples.ndim == 3 else None
    return samples, lambda out: Image.fromarray(out, mode)


def new_size(width, height, scale, size):
    if size:
        return size
    return max(1, round(width * scale)), max(1, round(height * scale))


def resize_picture(source, target, scale, size, threads):
    """Resizes one file; returns None, or why it failed. Runs on a worker."""
    try:
        with Image.open(source) as image:
            image.load()
            kind = image.format
            samples, make_picture = picture_samples(image)
        width, height = new_size(samples.shape[1], samples.shape[0], scale, size)
        resized = velmora.resize(samples, (height, width) + samples.shape[2:], threads=threads)
        options = {"quality": 95} if kind == "JPEG" else {}
        make_picture(resized).save(target, kind, **options)
        return None
    except Exception as error:  # any reason is reported, and the others go on
        return str(error) or type(error).__name__


def picture_names(folder):
    known = Image.registered_extensions()
    return sorted(name for name in os.listdir(folder)
                  if os.path.isfile(os.path.join(folder, name)) and os.path.splitext(name)[1].lower() in known)


def parse_size(text):
    try:
        width, height = (int(part) for part in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not WIDTHxHEIGHT, such as 640x480") from None
    if width < 1 or height < 1:
        raise argparse.ArgumentTypeError(f"{text!r}: width and height start at 1")
    return width, height


def parse_scale(text):
    try:
        scale = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not 0 < scale < float("inf"):
        raise argparse.ArgumentTypeError(f"the scale must be above 0, not {text}")
    return scale


def main():
    parser = argparse.ArgumentParser(description="Resize every picture of a folder with velmora on a Dask cluster.")
    parser.add_argument("source", metavar="SRC", help="the folder of pictures")
    parser.add_argument("target", metavar="DST", help="the folder for the resized pictures (made if missing)")
    how = parser.add_mutually_exclusive_group(required=True)
    how.add_argument("--scale", type=parse_scale, help="multiply width and height by F")
    how.add_argument("--size", type=parse_size, help="make every picture W pixels wide and H high")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a dask.distributed scheduler (default: a local cluster)")
    parser.add_argument("--threads", type=int, default=1, help="threads per picture (default 1)")
    arguments = parser.parse_args()
    if not os.path.isdir(arguments.source):
        parser.error(f"{arguments.source} is not a folder")
    names = picture_names(arguments.source)
    os.makedirs(arguments.target, exist_ok=True)

    started = time.monotonic()
    cluster = None if arguments.scheduler else LocalCluster(threads_per_worker=1, dashboard_address=None)
    failures = 0
    try:
        with Client(arguments.scheduler or cluster) as client:
            futures = [client.submit(resize_picture, os.path.abspath(os.path.join(arguments.source, name)),
                                     os.path.abspath(os.path.join(arguments.target, name)),
                                     arguments.scale, arguments.size, arguments.threads, pure=False)
                       for name in names]
            if futures:
                progress(futures)
                print(flush=True)
            for name, future in zip(names, futures):
                reason = future.result()
                if reason is not None:
                    failures += 1
                    print(f"resize_folder.py: {name}: {reason}", file=sys.stderr)
    finally:
        if cluster is not None:
            cluster.close()
    print(f"{len(names) - failures} pictures done, {failures} failed, in {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
