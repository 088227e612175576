// Reading the input picture of a run into three top-down colour planes.
//
// Every input goes through one path. A regular file is measured first; its
// real length bounds everything read from it, so a stored size the file
// cannot back never sizes an allocation. An input that cannot seek (a pipe,
// a FIFO, /dev/stdin, <(...)) is read front to back, never beyond the
// largest file the side limits allow for its headers. Either way the headers
// are checked before anything sized from them is allocated, only the pixel
// data the decoder can use is kept in memory (vin), and that is decoded
// straight into BIN, GIN and RIN (width x height bytes each, row 0 at the
// top), which the caller then owns.
//
// The run's team does the work: vin and the planes are populated on it, a
// regular file is read into vin in blocks (a stream goes front to back on
// the calling thread), and the pixels are decoded in bands of columns
// (bmp_decode_band). Every thread count reads the same planes and refuses
// a bad file with the same status and detail.
//
// input_open and input_load report what went wrong and never print; they end
// the process only when memory runs out (checked_alloc). read_bitmap runs
// them for the driver, checks the requested sizes in between, prints the
// message of any refusal and ends the process with status 1.
#pragma once

#include <cstdint>
#include <cstdio>

#include "bmp/bmp_header.h"
#include "cli/options.h"
#include "codecs/codec_source.h"
#include "codecs/picture.h"
#include "codecs/picture_kind.h"
#include "velmora/velmora.h"

struct input_planes {
    std::uint8_t* BIN;
    std::uint8_t* GIN;
    std::uint8_t* RIN;
};

enum class input_status {
    ok,
    cannot_open,  // the name cannot be opened for reading
    folder,       // the name is a folder
    bad_header,   // refused by the header checks (file.bmp says why)
    size_error,   // shorter than its stored size, or the stored size cannot hold the pixels
    bad_pixels,   // refused while decoding (file.bmp and file.detail say why)
};

struct input_file {
    picture_kind kind;                  // told from the first bytes
    std::FILE* stream;                  // open between input_open and input_load
    bool regular;                       // a regular file, whose length is known
    std::int64_t length;                // that length, in bytes
    std::uint8_t head[bmp_head_bytes];  // the first bytes of the file
    std::size_t head_length;            // how many of them there are
    bmp_header header;                  // the checked headers
    bmp_status bmp;                     // the reason of a bad_header or bad_pixels
    std::uint64_t detail;
};

// Opens and measures the input named name, tells its kind from the first
// bytes and, for a BMP file, checks its headers. On ok the stream stays open
// (for input_load, or for the codec of another kind); on any other outcome
// it is closed.
input_status input_open(const char* name, input_file* file);

// Reads the pixel data of a file that input_open accepted, decodes it on
// the team (an empty team: on the calling thread) and closes the stream. On
// ok *planes holds three heap planes of width x height bytes for the caller
// to free; otherwise nothing is left allocated.
input_status input_load(input_file* file, input_planes* planes, velmora::thread_team& team);

// Where the codec of a PNG, JPEG or TIFF file that input_open accepted reads
// from: the head, then the open stream.
codec_source input_source(const input_file& file);

// The input of a run: a BMP file as three planes, any other kind as the
// picture its codec decoded (channels, depth and colour profile as stored).
struct input_picture {
    picture_kind kind;
    std::int32_t width;
    std::int32_t height;
    input_planes planes;  // BMP
    picture image;        // PNG, JPEG, TIFF
};

// The driver's read: input_open, the pixel budget (-max-pixels) and the
// size checks of the run, both from the header, then the pixels (a BMP on
// the team). Every refusal prints its message and ends the process with
// status 1; the codec's warnings about a file it read are printed, and the
// run goes on.
input_picture read_input(const resize_options& cnt, velmora::thread_team& team);
