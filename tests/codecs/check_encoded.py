#!/usr/bin/env python3
"""Reads the files write_encoded made back with Pillow and tifffile and
compares them with the pattern: every sample, the kind of alpha, the colour
profile; a PNG written in bands has the same bytes on every team, an IDAT
chunk per band and, where ImageMagick is installed, its every 16-bit sample
as ImageMagick reads it. Exits 77 (skipped) when Pillow or tifffile is missing,
or when the build lacks one of the formats.

    check_encoded.py WRITE_ENCODED SAMPLES_FOLDER
"""
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import numpy as np
    import tifffile
    from PIL import Image
except ImportError as missing:
    print(f"skipped: {missing}")
    sys.exit(77)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_samples import pattern  # noqa: E402


def expected(channels, kind, width=23, height=17):
    values = pattern(width, height, channels)
    if kind == "u8":
        return (values >> 8).astype(np.uint8)
    if kind == "f32":
        return values.astype(np.float32) / np.float32(65535)
    return values


def chunk_names(data):
    names, at = [], 8
    while at + 8 <= len(data):
        length = int.from_bytes(data[at:at + 4], "big")
        names.append(data[at + 4:at + 8])
        at += 12 + length
    return names


def png_matches(file, want, icc, channels, kind):
    image = Image.open(file)
    got = np.asarray(image).reshape(want.shape[0], want.shape[1], -1)
    # Pillow keeps 16 bits for grey only; the others come as high bytes, grey
    # and alpha as RGBA.
    if kind == "u16" and channels > 1:
        want = want >> 8
    if kind == "u16" and channels == 2:
        got = got[:, :, [0, 3]]
    return np.array_equal(got, want) and image.info.get("icc_profile") == (icc if channels >= 3 else None)


def magick_matches(file, want, channels, kind):
    """ImageMagick's samples, all 16 bits of them, where it is installed."""
    if not shutil.which("convert"):
        return True
    layout = ["gray", "graya", "rgb", "rgba"][channels - 1]
    raw = subprocess.run(["convert", file, "-depth", "16" if kind == "u16" else "8", "-endian", "LSB", layout + ":-"],
                         capture_output=True, check=True).stdout
    return np.array_equal(np.frombuffer(raw, "<u2" if kind == "u16" else np.uint8).reshape(want.shape), want)


def bands_match(folder, name, icc):
    """One of the files written in bands, against the pattern and the same
    picture written by one thread."""
    _, channels, kind, _ = os.path.splitext(name)[0].split("_")
    channels = int(channels)
    file = os.path.join(folder, name)
    data = open(file, "rb").read()
    alone = open(os.path.join(folder, f"bands_{channels}_{kind}_t1.png"), "rb").read()
    width, height = Image.open(file).size
    want = expected(channels, kind, width, height)
    return (data == alone and chunk_names(data).count(b"IDAT") == 3 and chunk_names(data)[-1] == b"IEND" and
            png_matches(file, want, icc, channels, kind) and magick_matches(file, want, channels, kind))


def main():
    program, samples = sys.argv[1:3]
    icc = open(os.path.join(samples, "srgb.icc"), "rb").read()
    faults = []
    with tempfile.TemporaryDirectory() as folder:
        made = subprocess.run([program, folder, os.path.join(samples, "srgb.icc")], check=False).returncode
        if made != 0:
            print(f"write_encoded ended with status {made}")
            return made
        names = sorted(os.listdir(folder))
        for name in names:
            if name.startswith("bands_"):
                if not bands_match(folder, name, icc):
                    faults.append(name)
                continue
            stem, ext = os.path.splitext(name)
            file = os.path.join(folder, name)
            channels, kind = int(stem[0]), stem.split("_")[1]
            want = expected(channels, kind)
            if ext == ".tif":
                page = tifffile.TiffFile(file).pages[0]
                got = page.asarray().reshape(want.shape)
                alpha = (1 if stem.endswith("assoc") else 2,) if channels % 2 == 0 else ()
                ok = np.array_equal(got, want) and tuple(page.extrasamples) == alpha
                ok &= (page.tags.get(34675) is not None) == (channels >= 3)
            elif ext == ".png":
                ok = png_matches(file, want, icc, channels, kind)
            elif ext == ".jpg":
                image = Image.open(file)
                # Quality 100 without subsampling: the rounding of the colour
                # conversion and the transforms only.
                error = np.abs(np.asarray(image).reshape(want.shape).astype(int) - want)
                ok = error.max() <= 3 and image.info.get("icc_profile") == (icc if channels == 3 else None)
            else:
                continue
            if not ok:
                faults.append(name)
        print(f"{len(names)} files read back, {len(faults)} wrong: {' '.join(faults)}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
