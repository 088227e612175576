// Decoding JPEG files with libjpeg(-turbo).
//
// Baseline and progressive files, grey (one channel) or colour (YCbCr or
// RGB, handed over as three RGB channels), 8 bits per sample. CMYK, YCCK
// and other colour models are refused before any pixel is decoded. The ICC
// profile from the APP2 markers comes with the picture; EXIF and its
// orientation are not applied.
//
// Limits: the size from the frame header against max_picture_side; at most
// max_jpeg_scans scans, since each scan of a progressive file walks the
// whole picture again (a few bytes per scan can make a small file cost
// minutes); libjpeg's memory limit set to what the declared size needs. A
// file that ends before its picture does is refused, not filled in, and so
// is one whose coded data libjpeg finds corrupt (a scan cut short, a bad
// Huffman or arithmetic code, lost restart markers, an impossible order of
// scans): "corrupt JPEG data: " and libjpeg's words. The library's errors
// come back through a handler that returns (by longjmp) instead of ending
// the process; its other warnings (stray bytes before a marker, an unknown
// JFIF version, an odd Adobe transform, a bad ICC marker) leave the picture
// whole and come back as warning lines, nothing is printed.
#pragma once

#include <memory>

#include "picture/codec_source.h"
#include "picture/format_reader.h"

constexpr int max_jpeg_scans = 1000;

codec_message jpeg_open(const codec_source& source, std::unique_ptr<format_reader>* reader, picture_info* info);
