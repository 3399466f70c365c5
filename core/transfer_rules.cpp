#include "core/transfer_rules.h"

bool windowFits(int32_t arrayLength, int32_t offset, int32_t length)
{
    if (arrayLength < 0 || offset < 0 || length < 0) return false;
    // offset <= arrayLength - length cannot overflow, unlike offset + length.
    return length <= arrayLength && offset <= arrayLength - length;
}

bool headerBlockHasLines(const char* block, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (block[i] != '\r' && block[i] != '\n' && block[i] != '\0') return true;
    return false;
}
