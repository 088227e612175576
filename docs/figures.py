#!/usr/bin/env python3
"""Pictures for docs/make_figures.sh: writes the test pictures it resizes and
lays out, labels and plots what the tools made of them.

usage: figures.py chart OUT.bmp
       figures.py sky LANDSCAPE.bmp OUT.bmp
       figures.py panels OUT.png LABEL FACTOR PICTURE.bmp [LABEL FACTOR PICTURE.bmp | / ...]
       figures.py ripple OUT.png SCALE X Y W H LANDSCAPE.bmp SKY.bmp NAME OUT.bmp SKY_OUT.bmp [NAME OUT.bmp SKY_OUT.bmp ...]
       figures.py speed OUT.png MACHINE RESULTS.csv

Every pixel of a panel is drawn as FACTOR x FACTOR (SCALE x SCALE) screen
pixels, without smoothing; "/" starts a new row of panels, and "\\n" in a
label starts a new line. A ripple NAME other than velmora is taken to be a
resizer that aligns pixel centres.
"""
import csv
import struct
import sys

import numpy as np
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

LABEL_HEIGHT = 40  # screen pixels above each panel for its label
GAP = 8


def read_bmp(path):
    """A 24-bit BMP as an array [row, column, (r, g, b)], top row first."""
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (3 * width + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    pixels = rows[:, :3 * width].reshape(abs(height), width, 3)[:, :, ::-1]
    return pixels[::-1] if height > 0 else pixels


def write_bmp(path, pixels):
    """Writes [row, column, (r, g, b)] as a bottom-up 24-bit BMP with a 40-byte header."""
    height, width, _ = pixels.shape
    stride = (3 * width + 3) // 4 * 4
    rows = np.zeros((height, stride), np.uint8)
    rows[:, :3 * width] = pixels[::-1, :, ::-1].reshape(height, 3 * width)
    header = b"BM" + struct.pack("<IHHI", 54 + rows.size, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, rows.size, 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + rows.tobytes())


def chart(path):
    """A 192 x 128 grey test chart: on the left a zone plate whose rings get
    finer away from the centre, up to the finest a pixel grid can hold at the
    corners; on the right a black square on white and a white one on black."""
    y, x = np.mgrid[0:128, 0:128] + 0.5 - 64
    corner = 64 * np.sqrt(2)
    # phase pi r^2 / (2 corner): the local frequency r / (2 corner) cycles per
    # pixel reaches one half (two pixels per cycle) at the corners
    plate = 127.5 + 127.5 * np.cos(np.pi * (x * x + y * y) / (2 * corner))
    squares = np.full((128, 64), 255.0)
    squares[16:48, 16:48] = 0
    squares[64:, :] = 0
    squares[80:112, 16:48] = 255
    grey = np.floor(np.hstack([plate, squares])).clip(0, 255).astype(np.uint8)
    write_bmp(path, np.repeat(grey[:, :, None], 3, axis=2))


def sky(landscape_path, path):
    """The sky of bench/make_picture.py alone, the size of the landscape."""
    height, width, _ = read_bmp(landscape_path).shape
    v = np.arange(height) / height
    row = np.stack([90 + 100 * v, 150 + 80 * v, 235 - 20 * v], axis=-1).astype(int)
    write_bmp(path, np.repeat(row[:, None, :], width, axis=1).astype(np.uint8))


def layout(out_path, rows):
    """Draws rows of (label, picture, factor): each picture with every pixel
    drawn as factor x factor screen pixels, its label above it."""
    placed = []
    top = width = 0
    for row in rows:
        left = row_height = 0
        for label, pixels, factor in row:
            shown = np.repeat(np.repeat(pixels, factor, axis=0), factor, axis=1)
            placed.append((label, shown, left, top))
            left += shown.shape[1] + GAP
            row_height = max(row_height, shown.shape[0])
        width = max(width, left - GAP)
        top += LABEL_HEIGHT + row_height + GAP
    height = top - GAP
    fig = plt.figure(figsize=(width / 100, height / 100), dpi=100)
    for label, shown, left, top in placed:
        h, w = shown.shape[:2]
        ax = fig.add_axes([left / width, 1 - (top + LABEL_HEIGHT + h) / height, w / width, h / height])
        ax.imshow(shown, interpolation="nearest")
        ax.set_axis_off()
        fig.text((left + w / 2) / width, 1 - (top + LABEL_HEIGHT - 4) / height, label,
                 ha="center", va="bottom", fontsize=9.5, linespacing=1.1)
    fig.savefig(out_path, dpi=100)


def panels(out_path, items):
    """Rows of panels from LABEL FACTOR PICTURE triplets, a "/" between rows."""
    rows = [[]]
    i = 0
    while i < len(items):
        if items[i] == "/":
            rows.append([])
            i += 1
            continue
        label, factor, path = items[i:i + 3]
        rows[-1].append((label.replace("\\n", "\n"), read_bmp(path), int(factor)))
        i += 3
    layout(out_path, rows)


def ripple(out_path, scale, box, landscape_path, sky_path, tools):
    """The enlarged landscape next to its ripple: each tool's enlargement of
    the landscape less its enlargement of the sky alone, shown in the sky
    only, mid grey for no change and 8 grey levels for each level of change.
    Prints how far from the shapes the ripple reaches."""
    landscape = read_bmp(landscape_path)
    height, width, _ = landscape.shape
    is_sky = (landscape == read_bmp(sky_path)).all(axis=-1)
    print(f"largest change of the sky in levels (any channel), by distance from the nearest pixel"
          f" of a shape (sun, hills, checkerboard) in pixels of the {width} x {height} input:")
    x0, y0, w, h = box
    shown = []
    for name, out_path_tool, sky_out_path in tools:
        change = read_bmp(out_path_tool).astype(int) - read_bmp(sky_out_path).astype(int)
        k = change.shape[0] // height
        ty, tx = positions(name, height, width, k)
        distance = distance_to_shapes(is_sky, ty, tx)
        in_sky = is_sky[nearest(ty, height)][:, nearest(tx, width)]
        size = np.abs(change).max(axis=-1)
        print(f"  {name:8s}", "  ".join(f">={d}: {size[in_sky & (distance >= d)].max():3d}"
                                       for d in (1, 2, 3, 4, 6, 8, 12, 16, 24, 32)))
        crop = (slice(y0 * k, (y0 + h) * k), slice(x0 * k, (x0 + w) * k))
        grey = np.where(in_sky, np.clip(128 + 8 * signed_largest(change), 0, 255), 0)[crop]
        shown.append((f"{name}, {k}\u00d7", read_bmp(out_path_tool)[crop]))
        shown.append((f"what the shapes add\nto {name}'s sky (8\u00d7)",
                      np.repeat(grey[:, :, None], 3, axis=2).astype(np.uint8)))
    layout(out_path, [[(label, pixels, int(scale)) for label, pixels in shown]])


def signed_largest(change):
    """Per pixel, the channel's change of largest size, with its sign."""
    index = np.abs(change).argmax(axis=-1)
    return np.take_along_axis(change, index[..., None], axis=-1)[..., 0]


def nearest(at, count):
    """The input pixel whose cell holds each position."""
    return np.clip(np.floor(at + 0.5).astype(int), 0, count - 1)


def positions(name, height, width, k):
    """Input positions of the output samples of a k-fold enlargement: this
    tool keeps the top-left sample (x' at x'/k); a resizer that aligns pixel
    centres puts x' at (x' + 0.5)/k - 0.5."""
    shift = 0 if name == "velmora" else 0.5 / k - 0.5
    return np.arange(height * k) / k + shift, np.arange(width * k) / k + shift


def distance_to_shapes(is_sky, ty, tx):
    """Distance of every output sample from the nearest centre of a shape pixel."""
    # Shape pixels with a sky neighbour are the nearest ones to any sky sample.
    padded = np.pad(is_sky, 1, constant_values=False)
    edge = ~is_sky & (padded[:-2, 1:-1] | padded[2:, 1:-1] | padded[1:-1, :-2] | padded[1:-1, 2:])
    distance = np.full((len(ty), len(tx)), np.inf)
    for y, x in zip(*np.nonzero(edge)):
        distance = np.minimum(distance, np.hypot(ty[:, None] - y, tx[None, :] - x))
    return distance


def speed(out_path, machine, results):
    rows = list(csv.DictReader(open(results)))
    fig, ax = plt.subplots(figsize=(7.2, 4.2), dpi=100)
    styles = {"velmora": ("tab:blue", "velmora"), "convert": ("tab:orange", "ImageMagick Lanczos")}
    threads = sorted({int(r["threads"]) for r in rows})
    for tool, (colour, name) in styles.items():
        for t in threads:
            points = sorted((output_megapixels(r["case"]), float(r["wall_s"]))
                            for r in rows if r["tool"] == tool and int(r["threads"]) == t)
            if points:
                ax.plot(*zip(*points), marker="o", color=colour, linestyle="-" if t == 1 else "--",
                        label=f"{name}, {t} thread{'s' if t > 1 else ''}")
    ax.set_xlabel("output megapixels (each a 2\u00d7 enlargement in both directions)")
    ax.set_ylabel("wall time, seconds (median)")
    ax.set_xlim(left=0)
    ax.set_ylim(bottom=0)
    ax.grid(alpha=0.3)
    ax.legend()
    ax.set_title(f"Measured on {machine}", fontsize=10)
    fig.tight_layout()
    fig.savefig(out_path)


def output_megapixels(case):
    width, height = case.split("->")[1].split("x")
    return int(width) * int(height) / 1e6


def main(args):
    if len(args) < 2:
        sys.exit(__doc__)
    if args[0] == "chart":
        chart(args[1])
    elif args[0] == "sky":
        sky(args[1], args[2])
    elif args[0] == "panels":
        panels(args[1], args[2:])
    elif args[0] == "ripple":
        tools = [tuple(args[i:i + 3]) for i in range(9, len(args), 3)]
        ripple(args[1], args[2], [int(a) for a in args[3:7]], args[7], args[8], tools)
    elif args[0] == "speed":
        speed(args[1], args[2], args[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
