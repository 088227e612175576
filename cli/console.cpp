#include "cli/console.h"

#include <cstdio>
#include <ctime>

#include "cli/options.h"
#include "picture/picture_codec.h"
#include "picture/picture_kind.h"
#include "velmora/velmora.h"

void print_usage()
{
    // One text, so that the lines cannot drift apart; the two defaults are
    // the constants the options use.
    std::fprintf(stderr,
                 "Usage: VELMORA [options]\n"
                 "\toptions: \n"
                 "\t  -help          : help message display\n"
                 "\t  -i             : input picture file name (BMP, PNG, JPEG or TIFF)\n"
                 "\t  -o             : output file name (auto add .bmp, or the -format extension)\n"
                 "\t  -sizexminus    : difference between input horizontal picture size and output one \n"
                 "\t  -sizexminusy   : difference between input vertical picture size and output one\n"
                 "\t  -size          : output size WxH; leave out W or H to keep the aspect ratio\n"
                 "\t  -scale         : output size as a factor of the input size: 2, 0.5 or 150%%\n"
                 "\t  -version       : print the version and the formats built in\n"
                 "\t  -threads       : number of threads (default: every CPU the process may use)\n"
                 "\t  -format        : output file format: bmp, png, tiff or jpeg (default: bmp)\n"
                 "\t  -rounding      : nearest or truncate (default: truncate for bmp, nearest otherwise)\n"
                 "\t  -quality       : JPEG quality, 1 to 100 (default: %d)\n"
                 "\t  -max-pixels    : largest input picture, in pixels (default: %d)\n",
                 default_jpeg_quality, default_pixel_budget);
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
