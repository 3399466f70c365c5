// CRC-32 as the config block's checksum uses it (zlib's crc32: IEEE polynomial, reflected,
// initial value 0xFFFFFFFF, final complement).
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC of nothing; pass the previous result to continue over the next bytes.
constexpr uint32_t kCrc32Initial = 0;

// Continues crc over size bytes; handles sizes above 4 GiB.
uint32_t crc32Update(uint32_t crc, const void* bytes, size_t size);
