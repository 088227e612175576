// Little-endian field access for the BMP headers.
//
// Every multi-byte BMP field is little-endian whatever the host is, so fields
// are assembled and emitted one byte at a time instead of through a packed
// struct. The readers take a buffer the caller owns and must hold the bytes
// asked for, and so must the buffer a writer fills.
#pragma once

#include <cstdint>

std::uint16_t le_get_u16(const std::uint8_t* bytes);
std::uint32_t le_get_u32(const std::uint8_t* bytes);
std::int32_t le_get_i32(const std::uint8_t* bytes);

void le_put_u32(std::uint8_t* bytes, std::uint32_t value);
