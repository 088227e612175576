#include "bmp/le_bytes.h"

std::uint16_t le_get_u16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t le_get_u32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::int32_t le_get_i32(const std::uint8_t* bytes)
{
    // Two's complement reinterpretation; well defined since C++20.
    return static_cast<std::int32_t>(le_get_u32(bytes));
}

void le_put_u32(std::uint8_t* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
