#include "core/byte_window.h"

bool windowFits(int32_t arrayLength, int32_t offset, int32_t length)
{
    if (arrayLength < 0 || offset < 0 || length < 0) return false;
    // offset <= arrayLength - length cannot overflow, unlike offset + length.
    return length <= arrayLength && offset <= arrayLength - length;
}
