#include "core/crc32.h"

#include <zlib.h>

#include <algorithm>

uint32_t crc32Update(uint32_t crc, const void* bytes, size_t size)
{
    // zlib takes a uInt length; feed it in chunks that fit.
    constexpr size_t kChunk = 1u << 30;
    const auto* p = static_cast<const Bytef*>(bytes);
    uLong value = crc;
    while (size > 0) {
        size_t count = std::min(size, kChunk);
        value = ::crc32(value, p, static_cast<uInt>(count));
        p += count;
        size -= count;
    }
    return static_cast<uint32_t>(value);
}
