#include "core/crc32.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#define CRC32_FOLDING 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

// zlib's crc32_z takes a size_t length, so a buffer of 4 GiB or more needs no chunks of our own.
uint32_t tableCrc(uint32_t crc, const uint8_t* p, size_t size) { return static_cast<uint32_t>(::crc32_z(crc, p, size)); }

#ifdef CRC32_FOLDING

// Carry-less multiplication folding for the reflected polynomial 0xEDB88320: four 128-bit lanes
// fold 64 bytes per step, then fold into one lane, reduce 128 to 64 to 32 bits with a Barrett
// step. The constants are powers of x modulo the polynomial, bit-reflected:
//   k1 = x^(4*128+32), k2 = x^(4*128-32), k3 = x^(128+32), k4 = x^(128-32), k5 = x^64,
//   mu = floor(x^64 / P), P = the polynomial with its x^32 term.
// Takes and returns the CRC register (not complemented); size is a multiple of 16, at least 64.
#define CRC32_TARGET __attribute__((target("pclmul,sse4.1")))

CRC32_TARGET inline __m128i load(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

CRC32_TARGET inline __m128i fold(__m128i lane, __m128i k, __m128i next)
{
    __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
    __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

CRC32_TARGET uint32_t foldingCrc(uint32_t crc, const uint8_t* p, size_t size)
{
    const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
    const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124LL);
    const __m128i polyMu = _mm_set_epi64x(0x1f7011641LL, 0x1db710641LL);
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(p + 16);
    __m128i x3 = load(p + 32);
    __m128i x4 = load(p + 48);
    p += 64;
    size -= 64;
    while (size >= 64) {
        x1 = fold(x1, k1k2, load(p));
        x2 = fold(x2, k1k2, load(p + 16));
        x3 = fold(x3, k1k2, load(p + 32));
        x4 = fold(x4, k1k2, load(p + 48));
        p += 64;
        size -= 64;
    }
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    while (size >= 16) {
        x1 = fold(x1, k3k4, load(p));
        p += 16;
        size -= 16;
    }
    // 128 to 64 bits, appending 32 zero bits.
    __m128i t = _mm_clmulepi64_si128(k3k4, x1, 0x01);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
    t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), t);
    // Barrett reduction to 32 bits.
    t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), polyMu, 0x10), mask32);
    t = _mm_clmulepi64_si128(t, polyMu, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool cpuHasFolding()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (c & bit_PCLMUL) != 0 && (c & bit_SSE4_1) != 0;
}

#endif

}  // namespace

bool crc32Folding()
{
#ifdef CRC32_FOLDING
    static const bool available = cpuHasFolding();
    return available;
#else
    return false;
#endif
}

uint32_t crc32Update(uint32_t crc, const void* bytes, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
#ifdef CRC32_FOLDING
    if (size >= 64 && crc32Folding()) {
        size_t folded = size & ~static_cast<size_t>(15);
        crc = ~foldingCrc(~crc, p, folded);
        p += folded;
        size -= folded;
    }
#endif
    return tableCrc(crc, p, size);
}

uint32_t crc32Table(uint32_t crc, const void* bytes, size_t size)
{
    return tableCrc(crc, static_cast<const uint8_t*>(bytes), size);
}
