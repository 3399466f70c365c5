// Rules of downloads that need no Windows: the part of a caller's array a transfer may fill, when a
// raw header block holds no header at all, and what a runtime download address asks for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// True when [offset, offset + length) lies inside an array of arrayLength elements: neither value
// negative and the end not past the array (computed without overflow).
bool windowFits(int32_t arrayLength, int32_t offset, int32_t length);

// True when a raw header block (CRLF-separated lines) holds at least one character other than
// line ends and NULs; a block of nothing but line ends is no headers.
bool headerBlockHasLines(const char* block, size_t size);

// A runtime download address as configured, split into what goes to the server and what the
// downloaded bytes must hash to.
struct DownloadAddress {
    enum class Hash {
        None,       // no "#sha256=" fragment: the bytes are taken as they come
        Given,      // sha256 holds the 32 bytes of the digest
        Malformed,  // a "#sha256=" fragment (any letter case) without exactly 64 hex digits after it
    };
    std::u16string url;  // the address without a sha256 fragment (other fragments stay)
    Hash hash = Hash::None;
    std::array<uint8_t, 32> sha256{};
    bool plainHttp = false;  // the scheme is "http:" (any letter case)
};

// Splits a configured address: a fragment "#sha256=" followed by exactly 64 hex digits (either
// case) and nothing else gives the digest and is cut off; any other fragment stays in the url.
DownloadAddress parseDownloadAddress(const std::u16string& address);
