// CRC-32 as the config block's checksum uses it (zlib's crc32: IEEE polynomial, reflected,
// initial value 0xFFFFFFFF, final complement).
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC of nothing; pass the previous result to continue over the next bytes.
constexpr uint32_t kCrc32Initial = 0;

// Continues crc over size bytes; handles sizes above 4 GiB. Uses carry-less multiplication where
// the processor has it (crc32Folding), else zlib's table; both give the same result.
uint32_t crc32Update(uint32_t crc, const void* bytes, size_t size);

// True when crc32Update folds with carry-less multiplication on this processor.
bool crc32Folding();

// crc32Update through zlib's table only: the reference the folding is measured and tested against.
uint32_t crc32Table(uint32_t crc, const void* bytes, size_t size);
