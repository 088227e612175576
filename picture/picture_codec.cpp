#include "picture/picture_codec.h"

#include "bmp/bmp_reader.h"
#include "bmp/bmp_writer.h"
#if VELMORA_HAVE_PNG
#include "codecs/png_reader.h"
#endif
#if VELMORA_HAVE_JPEG
#include "codecs/jpeg_reader.h"
#include "codecs/jpeg_writer.h"
#endif
#if VELMORA_HAVE_TIFF
#include "codecs/tiff_reader.h"
#endif

namespace {

codec_message not_built(picture_kind kind)
{
    return codec_fail(codec_fault::missing, "this velmora was built without %s support", picture_kind_name(kind));
}

}  // namespace

bool codec_available(picture_kind kind)
{
    switch (kind) {
    case picture_kind::bmp:
        return true;
    case picture_kind::png:
        return VELMORA_HAVE_PNG;
    case picture_kind::jpeg:
        return VELMORA_HAVE_JPEG;
    case picture_kind::tiff:
        return VELMORA_HAVE_TIFF;
    }
    return false;
}

codec_message picture_open(picture_kind kind, const codec_source& source, picture_reader* reader,
                           const picture_read_options& options)
{
    *reader = picture_reader{};
    reader->kind = kind;
    switch (kind) {
    case picture_kind::bmp:
        return bmp_open(source, options, &reader->format, &reader->info);
#if VELMORA_HAVE_PNG
    case picture_kind::png:
        return png_open(source, &reader->format, &reader->info);
#endif
#if VELMORA_HAVE_JPEG
    case picture_kind::jpeg:
        return jpeg_open(source, &reader->format, &reader->info);
#endif
#if VELMORA_HAVE_TIFF
    case picture_kind::tiff:
        return tiff_open(source, &reader->format, &reader->info);
#endif
    default:
        return not_built(kind);
    }
}

codec_message picture_decode(picture_reader* reader, picture* out)
{
    *out = picture{};
    if (!reader->format)
        return codec_fail(codec_fault::file, "the picture was not opened");
    codec_message message = reader->format->decode(out);
    reader->warnings = message.failed() ? codec_warnings{} : reader->format->warnings;
    reader->format.reset();
    if (message.failed())
        *out = picture{};
    return message;
}

picture_info picture_fit(picture_kind kind, const picture_info& info)
{
    picture_info fitted = info;
    if (kind == picture_kind::bmp || kind == picture_kind::jpeg) {
        fitted.channels = 3;
        fitted.format = sample_format::u8;
        fitted.premultiplied = false;
    } else if (kind == picture_kind::png) {
        if (fitted.format == sample_format::f32)
            fitted.format = sample_format::u16;
        fitted.premultiplied = false;
    }
    return fitted;
}

bool picture_keeps_profile(picture_kind kind)
{
    return kind != picture_kind::bmp;
}

codec_message picture_write(std::FILE* out, picture_kind kind, const picture& image,
                            const picture_write_options& options, codec_warnings* warnings)
{
    codec_warnings unread;
    if (!warnings)
        warnings = &unread;
    static_cast<void>(warnings);
    switch (kind) {
    case picture_kind::bmp:
        return bmp_write(out, image);
#if VELMORA_HAVE_PNG
    case picture_kind::png:
        return png_write(out, image, options.png, warnings, options.runner);
#endif
#if VELMORA_HAVE_JPEG
    case picture_kind::jpeg:
        return jpeg_write(out, image, options.jpeg_quality, warnings);
#endif
#if VELMORA_HAVE_TIFF
    case picture_kind::tiff:
        return tiff_write(out, image, options.tiff, options.runner);
#endif
    default:
        static_cast<void>(options);
        return not_built(kind);
    }
}

std::size_t picture_in_place_size(picture_kind kind, const picture_info& info)
{
    return kind == picture_kind::bmp ? bmp_file_size(info) : 0;
}

picture_view picture_in_place_view(picture_kind kind, const picture_info& info, std::uint8_t* file)
{
    return kind == picture_kind::bmp ? bmp_file_view(info, file) : picture_view{};
}

void picture_in_place_finish(picture_kind kind, const picture_info& info, std::uint8_t* file)
{
    if (kind == picture_kind::bmp)
        bmp_file_finish(info, file);
}
