#include "bmp/bmp_decode.h"

#include "bmp/bmp_bitfields.h"
#include "bmp/bmp_palette.h"
#include "bmp/bmp_pixels.h"
#include "bmp/bmp_rle.h"

bmp_status bmp_decode(const bmp_header& header, const std::uint8_t* data, std::size_t length, colour_planes out,
                      std::uint64_t* detail)
{
    *detail = 0;
    switch (header.coding) {
    case bmp_coding::palette:
        return bmp_decode_palette(header, data, length, out, detail);
    case bmp_coding::bit_fields:
        return bmp_decode_bit_fields(header, data, length, out);
    case bmp_coding::direct:
        return bmp_decode_direct(header, data, length, out);
    case bmp_coding::rle8:
    case bmp_coding::rle4:
        return bmp_decode_rle(header, data, length, out, detail);
    }
    return bmp_status::short_pixel_data;
}
