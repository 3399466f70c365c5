// Rules of the HTTP natives that need no Windows: the part of a caller's array a transfer may fill,
// and when a raw header block holds no header at all.
#pragma once

#include <cstddef>
#include <cstdint>

// True when [offset, offset + length) lies inside an array of arrayLength elements: neither value
// negative and the end not past the array (computed without overflow).
bool windowFits(int32_t arrayLength, int32_t offset, int32_t length);

// True when a raw header block (CRLF-separated lines) holds at least one character other than
// line ends and NULs; a block of nothing but line ends is no headers.
bool headerBlockHasLines(const char* block, size_t size);
