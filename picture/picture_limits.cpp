#include "picture/picture_limits.h"

codec_message picture_side_check(std::uint64_t width, std::uint64_t height)
{
    const char* side = width > max_picture_side ? "width" : height > max_picture_side ? "height" : nullptr;
    if (!side)
        return {};
    return codec_fail(codec_fault::limit, "input %s %llu is above the limit of %d", side,
                      static_cast<unsigned long long>(width > max_picture_side ? width : height), max_picture_side);
}
