#!/usr/bin/python3
"""Draws docs/pyramid_aliasing.png: the same crop of one level of two
pyramids of a zone plate, one made by examples/pyramid.py (band-limited),
one by 2 x 2 means (dask.array.coarsen), side by side.

usage: docs/pyramid_aliasing.py VELMORA_PYRAMID COARSEN_PYRAMID [--level K] [--output PNG]

The pyramids are those `bench/dask_bench.py --cases pyramid --keep` leaves
in its scratch folder: a 16384^2 zone plate, whose frequency rises from 0
at the centre to the Nyquist frequency at the edges. Level K holds it up
to size / 2^(K + 1) samples from the centre (at K = 2, 512 of its 4096
samples); the crop runs from half that to one and a half times it, right
of the centre. Beyond the band's edge the band-limited level is flat grey;
the means carry on in rings that are not there (moire). Needs Zarr and
Pillow.
"""
import argparse

import numpy as np
import zarr
from PIL import Image, ImageDraw

SIZE = 16384  # the zone plate's side
GAP, TITLE = 16, 20  # pixels between the crops, and above them


def crop(group, level):
    samples = zarr.open_group(group, mode="r")[str(level)]
    centre, edge = samples.shape[0] // 2, SIZE // 2 ** (2 * level + 1)
    window = samples[centre - edge // 2:centre + edge // 2, centre + edge // 2:centre + 3 * edge // 2]
    return Image.fromarray((window >> 8).astype(np.uint8))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("velmora", help="the Zarr group examples/pyramid.py made")
    parser.add_argument("coarsen", help="the Zarr group of 2 x 2 means")
    parser.add_argument("--level", type=int, default=2)
    parser.add_argument("--output", default="docs/pyramid_aliasing.png")
    arguments = parser.parse_args()
    crops = [crop(arguments.velmora, arguments.level), crop(arguments.coarsen, arguments.level)]
    width, height = crops[0].size
    picture = Image.new("L", (2 * width + GAP, height + TITLE), 255)
    draw = ImageDraw.Draw(picture)
    for at, (image, title) in enumerate(zip(crops, ["examples/pyramid.py (velmora)", "dask.array.coarsen, 2 x 2 means"])):
        picture.paste(image, (at * (width + GAP), TITLE))
        draw.text((at * (width + GAP) + 4, 4), title, fill=0)
    picture.save(arguments.output, optimize=True)


if __name__ == "__main__":
    main()
