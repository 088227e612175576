#!/usr/bin/env python3
"""Writes the small PNG, JPEG and TIFF files the codec tests decode.

Run once with Debian's /usr/bin/python3 (python3-pil, python3-tifffile,
python3-numpy); the files are kept in the repository. Pixel values follow
pattern() below, which codecs_test.cpp computes again; JPEG files have
Pillow's decoded samples stored beside them (.raw). Depths and layouts that
Pillow cannot write come from tifffile or from write_png, which builds PNG
chunks directly with zlib.
"""
import os
import struct
import sys
import zlib

import numpy as np
import tifffile
from PIL import Image, ImageCms

HERE = os.path.dirname(os.path.abspath(__file__))


def pattern(width, height, channels):
    """16-bit samples that differ in both bytes from pixel to pixel."""
    y, x, c = np.meshgrid(np.arange(height), np.arange(width), np.arange(channels), indexing="ij")
    return ((x * 7919 + y * 104729 + c * 15485863 + 12345) % 65536).astype(np.uint16)


def u8(width, height, channels):
    return (pattern(width, height, channels) >> 8).astype(np.uint8)


def f32(width, height, channels):
    return pattern(width, height, channels).astype(np.float32) / np.float32(65535)


def palette(count):
    return [((k * 5) % 256, (255 - k * 3) % 256, (k * 71) % 256) for k in range(count)]


def path(name):
    return os.path.join(HERE, name)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def packed_rows(values, depth):
    """Rows of an (h, w, c) array at the depth, each after filter byte 0."""
    out = b""
    for row in values:
        if depth == 16:
            out += b"\0" + row.astype(">u2").tobytes()
        elif depth == 8:
            out += b"\0" + row.astype(np.uint8).tobytes()
        else:
            bits = np.unpackbits(row.astype(np.uint8).reshape(-1, 1), axis=1)[:, 8 - depth:]
            out += b"\0" + np.packbits(bits.reshape(-1)).tobytes()
    return out


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def write_png(name, values, depth, colour, interlaced=False, extra=b"", declared=None):
    height, width = values.shape[:2]
    if interlaced:
        data = b"".join(packed_rows(values[y0::dy, x0::dx], depth)
                        for x0, y0, dx, dy in ADAM7 if values[y0::dy, x0::dx].size)
    else:
        data = packed_rows(values, depth)
    width, height = declared or (width, height)
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, int(interlaced))
    with open(path(name), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra + chunk(b"IDAT", zlib.compress(data, 9))
                + chunk(b"IEND", b""))


def make_png(icc):
    w, h = 13, 11
    grey = pattern(w, h, 1)
    for bits in (1, 2, 4):
        write_png(f"p_g{bits}.png", grey >> (16 - bits), bits, 0, interlaced=bits == 4)
    write_png("p_g16.png", grey, 16, 0)
    write_png("p_ga16.png", pattern(w, h, 2), 16, 4)
    write_png("p_rgb16_interlaced.png", pattern(w, h, 3), 16, 2, interlaced=True)
    write_png("p_rgba16.png", pattern(w, h, 4), 16, 6)
    key = struct.pack(">H", int(grey[0, 0, 0] >> 8))
    write_png("p_g8_key.png", grey >> 8, 8, 0, extra=chunk(b"tRNS", key))
    write_png("p_huge_declared.png", grey >> 8, 8, 0, declared=(16384, 16384))
    Image.fromarray(u8(w, h, 1)[:, :, 0], "L").save(path("p_g8.png"))
    Image.fromarray(u8(w, h, 2), "LA").save(path("p_ga8.png"))
    Image.fromarray(u8(w, h, 3), "RGB").save(path("p_rgb8_icc.png"), icc_profile=icc)
    Image.fromarray(u8(w, h, 4), "RGBA").save(path("p_rgba8.png"))
    for count, trns, bits in ((16, 10, 4), (200, 0, 8)):
        im = Image.fromarray(((grey[:, :, 0] >> 8) % count).astype(np.uint8), "P")
        im.putpalette([v for colour in palette(count) for v in colour])
        extra = {"transparency": bytes((k * 37) % 256 for k in range(trns))} if trns else {}
        im.save(path(f"p_pal{bits}.png"), bits=bits, **extra)


def make_jpeg(icc):
    w, h = 21, 13
    smooth = np.fromfunction(lambda y, x, c: 40 + 6 * x + 9 * y + 50 * c, (h, w, 3)).astype(np.uint8)
    Image.fromarray(smooth, "RGB").save(path("j_rgb_icc.jpg"), quality=90, icc_profile=icc)
    Image.fromarray(smooth, "RGB").save(path("j_rgb_progressive.jpg"), quality=80, progressive=True)
    Image.fromarray(smooth[:, :, 1], "L").save(path("j_grey.jpg"), quality=85)
    for name in ("j_rgb_icc.jpg", "j_rgb_progressive.jpg", "j_grey.jpg"):
        with open(path(name[:-4] + ".raw"), "wb") as f:
            f.write(np.asarray(Image.open(path(name))).tobytes())
    Image.fromarray(np.dstack([smooth, smooth[:, :, :1]]), "CMYK").save(path("j_cmyk.jpg"))
    # The same file with the Adobe marker's transform set to YCCK.
    data = bytearray(open(path("j_cmyk.jpg"), "rb").read())
    adobe = data.index(b"\xff\xeeAdobe"[:2] + data[data.index(b"Adobe") - 2:data.index(b"Adobe")] + b"Adobe")
    data[adobe + 4 + 11] = 2
    open(path("j_ycck.jpg"), "wb").write(bytes(data))


def add_tiff_packbits():
    """tifffile encodes PackBits only through imagecodecs; literal runs of
    up to 128 bytes are valid PackBits and need nothing else."""
    def encode(data, *args, **kwargs):
        data = bytes(np.asarray(data).tobytes() if not isinstance(data, bytes) else data)
        return b"".join(bytes([len(data[i:i + 128]) - 1]) + data[i:i + 128] for i in range(0, len(data), 128))
    tifffile.tifffile.imagecodecs.packbits_encode = encode


def tiff(name, data, **options):
    tifffile.imwrite(path(name), data, **options)


def make_tiff(icc):
    add_tiff_packbits()
    w, h = 21, 19
    strips = {"rowsperstrip": 5}
    tiles = {"tile": (16, 16)}
    ga, rgba = {"photometric": "minisblack", "extrasamples": ["unassalpha"]}, {"photometric": "rgb"}
    assoc = ["assocalpha"]
    tiff("t_g8_none_strips.tif", u8(w, h, 1)[:, :, 0], **strips)
    tiff("t_ga16_packbits_strips.tif", pattern(w, h, 2), compression="packbits", planarconfig="contig", **ga, **strips)
    tiff("t_rgbf_deflate_strips.tif", f32(w, h, 3), compression="zlib", photometric="rgb", **strips)
    tiff("t_rgba8_none_tiles.tif", u8(w, h, 4), extrasamples=["unassalpha"], **rgba, **tiles)
    tiff("t_ga16_deflate_tiles_assoc.tif", pattern(w, h, 2), compression="adobe_deflate", photometric="minisblack",
         planarconfig="contig", extrasamples=assoc, **tiles)
    tiff("t_gaf_packbits_tiles_assoc.tif", f32(w, h, 2), compression="packbits", photometric="minisblack",
         planarconfig="contig", extrasamples=assoc, **tiles)
    tiff("t_gf_none_tiles.tif", f32(w, h, 1)[:, :, 0], **tiles)
    tiff("t_rgb16_be_predictor.tif", pattern(w, h, 3), byteorder=">", compression="zlib", predictor=True,
         photometric="rgb", **strips)
    tiff("t_rgb8_separate.tif", np.moveaxis(u8(w, h, 3), 2, 0), photometric="rgb", planarconfig="separate", **strips)
    tiff("t_rgb8_bigtiff_icc.tif", u8(w, h, 3), bigtiff=True, photometric="rgb",
         extratags=[(34675, 7, len(icc), icc, True)])
    tiff("t_g8_miniswhite.tif", u8(w, h, 1)[:, :, 0], photometric="miniswhite")
    tiff("t_rgbx8_unspecified.tif", u8(w, h, 4), photometric="rgb", extrasamples=["unspecified"])
    with tifffile.TiffWriter(path("t_two_pages.tif")) as t:
        t.write(u8(w, h, 1)[:, :, 0])
        t.write(np.zeros((h, w), np.uint8))
    Image.fromarray(u8(w, h, 3), "RGB").save(path("t_rgb8_lzw_pillow.tif"), compression="tiff_lzw")
    Image.fromarray(u8(w, h, 4), "RGBA").save(path("t_rgba8_lzw_pillow.tif"), compression="tiff_lzw")
    Image.fromarray(pattern(w, h, 1)[:, :, 0], "I;16").save(path("t_g16_packbits_pillow.tif"), compression="packbits")
    # Grey above its alpha, which no grey gives, reads as black.
    for name, values in (("t_ga8_miniswhite_assoc.tif", u8(w, h, 2)), ("t_ga16_miniswhite_assoc.tif", pattern(w, h, 2))):
        tiff(name, values, photometric="miniswhite", planarconfig="contig", extrasamples=assoc)
    # Refused.
    tiff("t_cmyk.tif", u8(w, h, 4), photometric="separated")
    # A 16-bit file declared 12-bit: the refusal comes before any pixel.
    tiff("t_g12.tif", pattern(w, h, 1)[:, :, 0])
    data = open(path("t_g12.tif"), "rb").read()
    bits_tag = struct.pack("<HHIH", 258, 3, 1, 16)
    open(path("t_g12.tif"), "wb").write(data.replace(bits_tag, bits_tag[:-2] + struct.pack("<H", 12), 1))
    tiff("t_signed.tif", pattern(w, h, 1)[:, :, 0].astype(np.int16))
    tiff("t_palette.tif", u8(w, h, 1)[:, :, 0], colormap=np.zeros((3, 256), np.uint16))
    tiff("t_wide.tif", np.zeros((1, 16385), np.uint8), compression="zlib")


def main():
    icc = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
    open(path("srgb.icc"), "wb").write(icc)
    make_png(icc)
    make_jpeg(icc)
    make_tiff(icc)


if __name__ == "__main__":
    sys.exit(main())
