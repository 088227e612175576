#include "cli/console.h"

#include <cstdio>
#include <ctime>

#include "cli/options.h"
#include "picture/picture_codec.h"
#include "picture/picture_kind.h"
#include "velmora/velmora.h"

void print_usage()
{
    std::fprintf(stderr, "Usage: VELMORA [options]\n");
    std::fprintf(stderr, "\toptions: \n");
    std::fprintf(stderr, "\t  -help          : help message display\n");
    std::fprintf(stderr, "\t  -i             : input picture file name (BMP, PNG, JPEG or TIFF)\n");
    std::fprintf(stderr, "\t  -o             : output file name (auto add .bmp, or the -format extension)\n");
    std::fprintf(stderr, "\t  -sizexminus    : difference between input horizontal picture size and output one \n");
    std::fprintf(stderr, "\t  -sizexminusy   : difference between input vertical picture size and output one\n");
    std::fprintf(stderr, "\t  -size          : output size WxH; leave out W or H to keep the aspect ratio\n");
    std::fprintf(stderr, "\t  -scale         : output size as a factor of the input size: 2, 0.5 or 150%%\n");
    std::fprintf(stderr, "\t  -version       : print the version and the formats built in\n");
    std::fprintf(stderr, "\t  -threads       : number of threads (default: every CPU the process may use)\n");
    std::fprintf(stderr, "\t  -format        : output file format: bmp, png, tiff or jpeg (default: bmp)\n");
    std::fprintf(stderr, "\t  -rounding      : nearest or truncate (default: truncate for bmp, nearest otherwise)\n");
    std::fprintf(stderr, "\t  -quality       : JPEG quality, 1 to 100 (default: %d)\n", default_jpeg_quality);
    std::fprintf(stderr, "\t  -max-pixels    : largest input picture, in pixels (default: %d)\n", default_pixel_budget);
}

void print_version()
{
    std::printf("velmora %s\n", velmora::version);
    std::printf("codecs:");
    for (picture_kind kind : {picture_kind::bmp, picture_kind::png, picture_kind::jpeg, picture_kind::tiff})
        if (codec_available(kind))
            std::printf(" %s", picture_kind_name(kind));
    std::printf("\n");
}

void take_time(char* text)
{
    const std::time_t now = std::time(nullptr);
    const char* converted = std::ctime(&now);
    std::snprintf(text, time_text_size, "%s", converted ? converted : "(time unavailable)\n");
}

void print_start_time(const char* start)
{
    std::fprintf(stderr, "Start Time: %s\n", start);
}

void print_end_times(const char* start, const char* end)
{
    std::fprintf(stderr, "Start Time: %s\n", start);
    std::fprintf(stderr, "End   Time: %s\n", end);
}
