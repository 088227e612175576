#include "bmp/bmp_rle.h"

#include <cstring>

#include "bmp/bmp_palette.h"

namespace {

struct rle_cursor {
    std::int64_t x;    // next column
    std::int64_t row;  // file row, 0 at the bottom
};

// The index of pixel i of a run whose indices are packed in bytes.
std::uint32_t packed_index(const std::uint8_t* bytes, std::int64_t i, bool four)
{
    if (!four)
        return bytes[i];
    const std::uint8_t pair = bytes[i / 2];
    return i % 2 == 0 ? pair >> 4 : pair & 0x0F;
}

// Writes count indices at the cursor: those of a repeated byte (repeat) or
// of the packed bytes that follow the code.
bmp_status put_run(const bmp_header& header, rle_cursor* cursor, std::int64_t count, const std::uint8_t* bytes,
                   bool repeat, std::uint8_t* rgb, std::uint64_t* detail)
{
    if (cursor->row >= header.height)
        return bmp_status::rle_past_picture;
    if (cursor->x + count > header.width)
        return bmp_status::rle_past_row;
    const bool four = header.coding == bmp_coding::rle4;
    std::uint8_t* pixel = bmp_pixels_of_row(header, rgb, cursor->row) + 3 * cursor->x;
    for (std::int64_t i = 0; i < count; ++i, pixel += 3) {
        // A repeated 4-bit pair alternates its nibbles; a repeated byte is one index.
        const std::int64_t from = repeat ? (four ? i % 2 : 0) : i;
        const std::uint32_t index = packed_index(bytes, from, four);
        if (!bmp_put_colour(header, index, pixel)) {
            *detail = index;
            return bmp_status::bad_index;
        }
    }
    cursor->x += count;
    return bmp_status::ok;
}

}  // namespace

bmp_status bmp_decode_rle(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                          std::uint8_t* rgb, std::uint64_t* detail)
{
    std::memset(rgb, 0, 3 * static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height));
    const bool four = header.coding == bmp_coding::rle4;
    rle_cursor cursor{0, 0};
    std::size_t p = 0;
    while (length - p >= 2) {
        const std::size_t code_at = p;
        const unsigned first = data[p];
        const unsigned second = data[p + 1];
        p += 2;
        *detail = header.pixel_offset + code_at;
        bmp_status status = bmp_status::ok;
        if (first > 0) {
            status = put_run(header, &cursor, first, data + code_at + 1, true, rgb, detail);
        } else if (second == 0) {
            cursor.x = 0;
            ++cursor.row;
        } else if (second == 1) {
            return bmp_status::ok;
        } else if (second == 2) {
            if (length - p < 2)
                return bmp_status::rle_cut;
            cursor.x += data[p];
            cursor.row += data[p + 1];
            p += 2;
            if (cursor.x > header.width)
                return bmp_status::rle_past_row;
            if (cursor.row > header.height)
                return bmp_status::rle_past_picture;
        } else {
            const std::size_t bytes = four ? (second + 1) / 2 : second;
            const std::size_t padded = (bytes + 1) / 2 * 2;
            if (length - p < padded)
                return bmp_status::rle_cut;
            status = put_run(header, &cursor, second, data + p, false, rgb, detail);
            p += padded;
        }
        if (status != bmp_status::ok)
            return status;
    }
    if (p != length) {
        *detail = header.pixel_offset + p;
        return bmp_status::rle_cut;
    }
    return bmp_status::ok;
}
