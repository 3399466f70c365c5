#include "core/transfer_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

TEST(TransferRules, FitsOnlyInsideTheArray)
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

TEST(TransferRules, HeaderBlockOfLineEndsHoldsNoHeaders)
{
    struct Case {
        std::string block;
        bool lines;
    } cases[] = {
        {"", false}, {"\r\n", false}, {"\r\n\r\n", false}, {std::string("\r\n\0", 3), false},
        {"HTTP/1.1 200 OK\r\n\r\n", true}, {"\r\nX", true}, {" ", true},
    };
    for (const Case& c : cases) EXPECT_EQ(headerBlockHasLines(c.block.data(), c.block.size()), c.lines) << c.block;
}
