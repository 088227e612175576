#include "codecs/picture_codec.h"

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
    if (kind == picture_kind::bmp)
        return codec_fail(codec_fault::file, "BMP is read and written by the BMP codec, not here");
    return codec_fail(codec_fault::missing, "this velmora was built without %s support", picture_kind_name(kind));
}

}  // namespace

bool codec_available(picture_kind kind)
{
    switch (kind) {
    case picture_kind::png:
        return VELMORA_HAVE_PNG;
    case picture_kind::jpeg:
        return VELMORA_HAVE_JPEG;
    case picture_kind::tiff:
        return VELMORA_HAVE_TIFF;
    case picture_kind::bmp:
        return false;
    }
    return false;
}

codec_message picture_open(picture_kind kind, const codec_source& source, picture_reader* reader)
{
    static_cast<void>(source);
    *reader = picture_reader{};
    reader->kind = kind;
    switch (kind) {
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

codec_message picture_write(std::FILE* out, picture_kind kind, const picture& image,
                            const picture_write_options& options, codec_warnings* warnings)
{
    static_cast<void>(out);
    static_cast<void>(image);
    static_cast<void>(options);
    codec_warnings unread;
    if (!warnings)
        warnings = &unread;
    static_cast<void>(warnings);
    switch (kind) {
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
        return not_built(kind);
    }
}
