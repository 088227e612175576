#include "picture/picture.h"

#include <cstring>

std::size_t sample_bytes(sample_format format)
{
    switch (format) {
    case sample_format::u8:
        return 1;
    case sample_format::u16:
        return 2;
    case sample_format::f32:
        return 4;
    }
    return 1;
}

std::size_t pixel_bytes(const picture_info& info)
{
    return static_cast<std::size_t>(info.channels) * sample_bytes(info.format);
}

std::size_t row_bytes(const picture_info& info)
{
    return static_cast<std::size_t>(info.width) * pixel_bytes(info);
}

std::size_t picture_bytes(const picture_info& info)
{
    return static_cast<std::size_t>(info.height) * row_bytes(info);
}

picture_view view_of(const picture& image)
{
    const auto pixel = static_cast<std::ptrdiff_t>(pixel_bytes(image.info));
    return picture_view{image.info, image.samples.get(), static_cast<std::ptrdiff_t>(row_bytes(image.info)), pixel,
                        static_cast<std::ptrdiff_t>(sample_bytes(image.info.format))};
}

codec_message allocate_block(std::size_t size, const char* what, block_ptr* out)
{
    // malloc(0) may give null; one byte keeps "null" meaning "no memory".
    out->reset(static_cast<std::uint8_t*>(std::malloc(size > 0 ? size : 1)));
    if (!*out)
        return codec_fail(codec_fault::memory, "no memory for the %s (%zu bytes)", what, size);
    return {};
}

codec_message picture_allocate(const picture_info& info, picture* out)
{
    out->info = info;
    out->icc.reset();
    out->icc_size = 0;
    return allocate_block(picture_bytes(info), "picture", &out->samples);
}

codec_message picture_set_icc(picture* out, const void* profile, std::size_t size)
{
    codec_message message = allocate_block(size, "colour profile", &out->icc);
    if (message.failed()) {
        out->icc_size = 0;
        return message;
    }
    std::memcpy(out->icc.get(), profile, size);
    out->icc_size = size;
    return {};
}
