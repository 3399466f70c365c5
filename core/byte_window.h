// The part of a caller's array that a transfer may fill: offset and length as Java gives them.
#pragma once

#include <cstdint>

// True when [offset, offset + length) lies inside an array of arrayLength elements: neither value
// negative and the end not past the array (computed without overflow).
bool windowFits(int32_t arrayLength, int32_t offset, int32_t length);
