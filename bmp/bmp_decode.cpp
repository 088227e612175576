#include "bmp/bmp_decode.h"

#include <algorithm>

#include "bmp/bmp_bitfields.h"
#include "bmp/bmp_palette.h"
#include "bmp/bmp_pixels.h"
#include "bmp/bmp_rle.h"

namespace {

bool run_length(const bmp_header& header)
{
    return header.coding == bmp_coding::rle8 || header.coding == bmp_coding::rle4;
}

bmp_band_result plain(bmp_status status)
{
    return bmp_band_result{status, 0, 0};
}

// Whether result is a fault that comes before the one kept so far (ties go
// to the earlier band, the one kept).
bool comes_first(const bmp_band_result& result, const bmp_band_result& kept)
{
    return result.status != bmp_status::ok && (kept.status == bmp_status::ok || result.position < kept.position);
}

}  // namespace

std::int64_t bmp_band_count(const bmp_header& header)
{
    return run_length(header) ? 1 : (header.width + bmp_band_columns - 1) / bmp_band_columns;
}

bmp_band_result bmp_decode_band(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                colour_planes out, std::int64_t band)
{
    const auto first = static_cast<std::int32_t>(band * bmp_band_columns);
    const column_range columns{first, std::min(bmp_band_columns, header.width - first)};
    switch (header.coding) {
    case bmp_coding::palette:
        return bmp_decode_palette(header, data, length, out, columns);
    case bmp_coding::bit_fields:
        return plain(bmp_decode_bit_fields(header, data, length, out, columns));
    case bmp_coding::direct:
        return plain(bmp_decode_direct(header, data, length, out, columns));
    case bmp_coding::rle8:
    case bmp_coding::rle4: {
        bmp_band_result result = plain(bmp_status::ok);
        result.status = bmp_decode_rle(header, data, length, out, &result.detail);
        return result;
    }
    }
    return plain(bmp_status::short_pixel_data);
}

bmp_status bmp_bands_outcome(const bmp_band_result* results, std::int64_t bands, std::uint64_t* detail)
{
    bmp_band_result kept = plain(bmp_status::ok);
    for (std::int64_t band = 0; band < bands; ++band)
        if (comes_first(results[band], kept))
            kept = results[band];
    *detail = kept.detail;
    return kept.status;
}

bmp_status bmp_decode(const bmp_header& header, const std::uint8_t* data, std::size_t length, colour_planes out,
                      std::uint64_t* detail)
{
    bmp_band_result kept = plain(bmp_status::ok);
    const std::int64_t bands = bmp_band_count(header);
    for (std::int64_t band = 0; band < bands; ++band) {
        const bmp_band_result result = bmp_decode_band(header, data, length, out, band);
        if (comes_first(result, kept))
            kept = result;
    }
    *detail = kept.detail;
    return kept.status;
}
