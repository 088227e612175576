#include "picture/picture_kind.h"

#include <cstring>

namespace {

bool starts_with(const std::uint8_t* head, std::size_t length, const char* signature, std::size_t size)
{
    return length >= size && std::memcmp(head, signature, size) == 0;
}

}  // namespace

picture_kind picture_kind_of(const std::uint8_t* head, std::size_t length)
{
    if (starts_with(head, length, "\x89PNG\r\n\x1a\n", 8))
        return picture_kind::png;
    if (starts_with(head, length, "\xff\xd8\xff", 3))
        return picture_kind::jpeg;
    if (starts_with(head, length, "II*\0", 4) || starts_with(head, length, "MM\0*", 4) ||
        starts_with(head, length, "II+\0", 4) || starts_with(head, length, "MM\0+", 4))
        return picture_kind::tiff;
    return picture_kind::bmp;
}

const char* picture_kind_name(picture_kind kind)
{
    switch (kind) {
    case picture_kind::bmp:
        return "BMP";
    case picture_kind::png:
        return "PNG";
    case picture_kind::jpeg:
        return "JPEG";
    case picture_kind::tiff:
        return "TIFF";
    }
    return "BMP";
}
