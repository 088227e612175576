// Telling a picture's kind from its first bytes, never from its name.
//
// The PNG signature, the JPEG start of image with its first marker, and the
// four TIFF headers (classic and BigTIFF, either byte order) name their
// formats; everything else goes to the BMP reader, which does not insist on
// "BM" either.
#pragma once

#include <cstddef>
#include <cstdint>

enum class picture_kind { bmp, png, jpeg, tiff };

picture_kind picture_kind_of(const std::uint8_t* head, std::size_t length);

// "BMP", "PNG", "JPEG" or "TIFF".
const char* picture_kind_name(picture_kind kind);
