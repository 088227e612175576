#!/usr/bin/python3
"""Reads the files write_encoded made back with Pillow and tifffile and
compares them with the pattern: every sample, the kind of alpha, the colour
profile. Exits 77 (skipped) when Pillow or tifffile is missing, or when the
build lacks one of the formats.

    check_encoded.py WRITE_ENCODED SAMPLES_FOLDER
"""
import os
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


def expected(channels, kind):
    values = pattern(23, 17, channels)
    if kind == "u8":
        return (values >> 8).astype(np.uint8)
    if kind == "f32":
        return values.astype(np.float32) / np.float32(65535)
    return values


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
                image = Image.open(file)
                got = np.asarray(image).reshape(17, 23, -1)
                # Pillow keeps 16 bits for grey only; the others come as high
                # bytes, grey and alpha as RGBA.
                if kind == "u16" and channels > 1:
                    want = want >> 8
                if kind == "u16" and channels == 2:
                    got = got[:, :, [0, 3]]
                ok = np.array_equal(got, want) and image.info.get("icc_profile") == (icc if channels >= 3 else None)
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
