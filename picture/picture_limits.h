// The limits every picture is held to, in and out, whatever its format.
//
// A reader checks a file's declared size against the side limit before
// anything is sized from it, and says so in the one text below; the pixel
// budget is the caller's to apply (the command line's -max-pixels), from
// the declared size too. Nothing here keeps state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/codec_message.h"

// Longest side of a picture, in or out. It bounds every size computed from
// an input header, so that those sizes fit comfortably in 64 bits and no
// allocation exceeds what a picture of that size needs; and the resize's
// longest lines, twice a side, then need FFTs of at most 65536 points.
constexpr std::int32_t max_picture_side = 16384;

// The most pixels a picture may have: the side limit squared.
constexpr std::int32_t max_pixel_budget = max_picture_side * max_picture_side;
// The budget when the caller names none: twice the 89.5-megapixel warning
// threshold that picture libraries commonly use, so that a small
// compressed file cannot make a run take gigabytes.
constexpr std::int32_t default_pixel_budget = 178956970;

// The first bytes of an input, read before its kind is known
// (picture_kind_of): every signature, and every header the BMP reader
// needs: the 14-byte file header, the longest info header (124 bytes) and
// the longest colour table (256 entries of four bytes).
constexpr std::size_t picture_head_bytes = 14 + 124 + 256 * 4;

// The longest input stream read into memory: a 32-bit picture of the
// largest side after the longest headers.
constexpr std::int64_t largest_picture_stream =
    std::int64_t{picture_head_bytes} + std::int64_t{4} * max_picture_side * max_picture_side;

// A limit fault "input width W is above the limit of 16384" (the width
// first, then the height) for a declared size above max_picture_side;
// none otherwise.
codec_message picture_side_check(std::uint64_t width, std::uint64_t height);
