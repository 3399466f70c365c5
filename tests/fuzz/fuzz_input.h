// Helpers shared by the fuzz targets: turning fuzz bytes into the inputs the parsers take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Stops the run when a property does not hold (libFuzzer reports it as a crash with the input).
#define FUZZ_CHECK(condition)             \
    do {                                  \
        if (!(condition)) __builtin_trap(); \
    } while (false)

inline std::string fuzzText(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

// Pairs of bytes as UTF-16 units, little-endian (an odd last byte is dropped).
inline std::u16string fuzzWide(const uint8_t* data, size_t size)
{
    std::u16string wide;
    for (size_t i = 0; i + 1 < size; i += 2) wide += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return wide;
}

// The text split at NUL bytes: a list of inputs from one buffer.
inline std::vector<std::string> fuzzParts(const uint8_t* data, size_t size)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(data[i]);
        }
    }
    return parts;
}
