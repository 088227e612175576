// Reading BMP files behind the codec door (picture_codec.h).
//
// bmp_open checks the headers (bmp_header.h) from the source's head, before
// anything is allocated, and gives the picture's info: three 8-bit
// channels. decode then checks that the file is as long as its stored size
// S says and that S holds every pixel row: a regular file or a memory
// block by its length, a stream up to the largest file its headers allow,
// since nothing beyond that is read from it. Only the pixel data a decoder
// can use is kept in memory (the caller's picture_block::encoded): read
// from a regular file in blocks at once on the runner's threads, from a
// stream front to back and on to S, so that a stream shorter than S is
// refused like a short file. It is decoded in bands on the runner's threads
// (bmp_decode.h) into the picture (picture_block::samples). Every thread
// count reads the same picture and refuses a bad file with the same
// message.
//
// Refusals: a file shorter than its headers say is a short_file fault; a
// side above the limit a limit fault; every other header or pixel fault a
// file fault with its reason (bmp_status_reason). A file without the "BM"
// signature is refused as "not a BMP, PNG, JPEG or TIFF picture" whatever
// its fault: the door hands every file of no other kind to this reader
// (picture_kind_of), and such a file is more likely no picture at all than
// a broken BMP.
#pragma once

#include <memory>

#include "picture/codec_source.h"
#include "picture/format_reader.h"

codec_message bmp_open(const codec_source& source, const picture_read_options& options,
                       std::unique_ptr<format_reader>* reader, picture_info* info);
