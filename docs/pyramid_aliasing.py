#!/usr/bin/env python3
"""Draws docs/pyramid_aliasing.png: the same crop of one level of two
pyramids of a zone plate, one made by examples/pyramid.py (band-limited),
one by 2 x 2 means (dask.array.coarsen), side by side.

usage: docs/pyramid_aliasing.py VELMORA_PYRAMID COARSEN_PYRAMID [--level K] [--width W] [--height H] [--output PNG]

The pyramids are those `bench/dask_bench.py --cases pyramid --keep` leaves
in its scratch folder: a 16384^2 zone plate, whose frequency rises from 0
at the centre to the Nyquist frequency at the edges. Level K holds it up
to size / 2^(2K + 1) of its samples from the centre (at K = 3, 128 of
2048), where its frequency reaches the level's Nyquist frequency; twice as
far out the frequency is the level's sampling rate, which means fold back
to nothing: a false zone plate. The crop starts at 3/4 of the band's edge,
right of the centre, its contrast tripled about mid-grey and each sample
drawn 2 x 2, so that the finest lines survive a page's scaling. Needs
Zarr and Pillow.
"""
import argparse

import numpy as np
import zarr
from PIL import Image, ImageDraw

SIZE = 16384  # the zone plate's side
GAP, TITLE = 16, 20  # pixels between the crops, and above them
ZOOM = 2  # each sample drawn as ZOOM x ZOOM pixels: lines two samples apart stay lines when a page is scaled
CONTRAST = 3  # about mid-grey, so that faint moire shows


def crop(group, level, width, height):
    """width x height samples right of the centre, from 3/4 of the band's
    edge outwards, enlarged ZOOM times."""
    samples = zarr.open_group(group, mode="r")[str(level)]
    centre, edge = samples.shape[0] // 2, SIZE // 2 ** (2 * level + 1)
    left = centre + 3 * edge // 4
    window = samples[centre - height // 2:centre + height // 2, left:left + width].astype(np.float64)
    grey = np.clip(127.5 + CONTRAST * (window - 32767.5) / 257, 0, 255)
    return Image.fromarray(np.rint(grey).astype(np.uint8)).resize((width * ZOOM, height * ZOOM), Image.NEAREST)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("velmora", help="the Zarr group examples/pyramid.py made")
    parser.add_argument("coarsen", help="the Zarr group of 2 x 2 means")
    parser.add_argument("--level", type=int, default=3)
    parser.add_argument("--width", type=int, default=224, help="samples of the crop")
    parser.add_argument("--height", type=int, default=160)
    parser.add_argument("--output", default="docs/pyramid_aliasing.png")
    arguments = parser.parse_args()
    crops = [crop(group, arguments.level, arguments.width, arguments.height)
             for group in (arguments.velmora, arguments.coarsen)]
    width, height = crops[0].size
    picture = Image.new("L", (2 * width + GAP, height + TITLE), 255)
    draw = ImageDraw.Draw(picture)
    for at, (image, title) in enumerate(zip(crops, ["examples/pyramid.py (velmora)", "dask.array.coarsen, 2 x 2 means"])):
        picture.paste(image, (at * (width + GAP), TITLE))
        draw.text((at * (width + GAP) + 4, 4), title, fill=0)
    picture.save(arguments.output, optimize=True)


if __name__ == "__main__":
    main()
