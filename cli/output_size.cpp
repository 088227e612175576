#include "cli/output_size.h"

#include <cstring>

#include "cli/options.h"
#include "picture/picture_limits.h"

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The decimal digits from begin to end, at least one and nothing else.
// Longer numbers are only ever too large, so the value saturates.
bool whole_number(const char* begin, const char* end, std::int64_t* value)
{
    if (begin == end)
        return false;
    constexpr std::int64_t ceiling = std::int64_t{1} << 40;
    std::int64_t number = 0;
    for (const char* at = begin; at != end; ++at) {
        if (!is_digit(*at))
            return false;
        if (number < ceiling)
            number = number * 10 + (*at - '0');
    }
    *value = number;
    return true;
}

bool valid_side(std::int64_t side)
{
    return side >= 1 && side <= max_picture_side;
}

// numerator / denominator, both positive, to the nearest whole, halves up;
// at least 1.
std::int64_t rounded_side(std::int64_t numerator, std::int64_t denominator)
{
    const std::int64_t side = (2 * numerator + denominator) / (2 * denominator);
    return side < 1 ? 1 : side;
}

// side * whole is whole already; only side * part / unit is rounded. With
// side at most max_picture_side and the factor's digits capped, every
// product fits 64 bits.
std::int64_t scaled_side(std::int64_t side, const scale_factor& factor)
{
    const std::int64_t rounded = side * factor.whole + (2 * side * factor.part + factor.unit) / (2 * factor.unit);
    return rounded < 1 ? 1 : rounded;
}

}  // namespace

bool read_size_sides(const char* text, size_sides* sides)
{
    const char* cross = std::strchr(text, 'x');
    if (!cross)
        return false;
    const char* end = cross + std::strlen(cross);
    const bool has_width = cross != text;
    const bool has_height = cross + 1 != end;
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (!has_width && !has_height)
        return false;
    if (has_width && !(whole_number(text, cross, &width) && valid_side(width)))
        return false;
    if (has_height && !(whole_number(cross + 1, end, &height) && valid_side(height)))
        return false;
    *sides = {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
    return true;
}

bool read_scale_factor(const char* text, scale_factor* factor)
{
    const char* whole_begin = text;
    const char* at = text;
    while (is_digit(*at))
        ++at;
    const char* whole_end = at;
    const char* part_begin = at;
    const char* part_end = at;
    if (*at == '.') {
        part_begin = ++at;
        while (is_digit(*at))
            ++at;
        part_end = at;
        if (part_begin == part_end)
            return false;
    }
    const bool percent = *at == '%';
    if (percent)
        ++at;
    if (whole_begin == whole_end || *at != '\0')
        return false;
    // Leading zeros of the whole and trailing zeros of the part change nothing.
    while (whole_begin != whole_end && *whole_begin == '0')
        ++whole_begin;
    while (part_end != part_begin && part_end[-1] == '0')
        --part_end;
    if (whole_end - whole_begin > scale_digits || part_end - part_begin > scale_digits)
        return false;
    scale_factor read{0, 0, 1};
    for (const char* digit = whole_begin; digit != whole_end; ++digit)
        read.whole = read.whole * 10 + (*digit - '0');
    for (const char* digit = part_begin; digit != part_end; ++digit) {
        read.part = read.part * 10 + (*digit - '0');
        read.unit *= 10;
    }
    if (percent) {
        // Two more places: the whole's last two digits join the part.
        read.part += read.whole % 100 * read.unit;
        read.unit *= 100;
        read.whole /= 100;
    }
    if (read.whole == 0 && read.part == 0)
        return false;
    *factor = read;
    return true;
}

output_sides requested_sides(const resize_options& options, std::int64_t in_width, std::int64_t in_height)
{
    switch (options.size_by) {
    case size_way::differences:
        break;
    case size_way::size: {
        const size_sides& sides = options.sides;
        if (sides.width == 0)
            return {rounded_side(sides.height * in_width, in_height), sides.height};
        if (sides.height == 0)
            return {sides.width, rounded_side(sides.width * in_height, in_width)};
        return {sides.width, sides.height};
    }
    case size_way::scale:
        return {scaled_side(in_width, options.factor), scaled_side(in_height, options.factor)};
    }
    return {in_width + options.added_columns, in_height + options.added_rows};
}
