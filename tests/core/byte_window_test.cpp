#include "core/byte_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

TEST(ByteWindow, FitsOnlyInsideTheArray)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        int32_t arrayLength, offset, length;
        bool fits;
    } cases[] = {
        {10, 0, 10, true},   {10, 0, 11, false}, {10, 9, 1, true},    {10, 10, 0, true},  {10, 10, 1, false},
        {10, 11, 0, false},  {10, -1, 1, false}, {10, 0, -1, false},  {0, 0, 0, true},    {0, 0, 1, false},
        {kMax, kMax, 0, true}, {kMax, 1, kMax, false}, {10, kMax, kMax, false}, {-1, 0, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(windowFits(c.arrayLength, c.offset, c.length), c.fits)
            << c.arrayLength << " " << c.offset << " " << c.length;
}
