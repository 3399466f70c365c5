#include "core/byte_source.h"

#include <gtest/gtest.h>

TEST(MemoryByteSource, ReadsSequentiallyAndShortAtTheEnd)
{
    std::vector<uint8_t> bytes{1, 2, 3, 4, 5};
    ByteSource source = memoryByteSource(bytes);
    uint8_t buffer[4] = {};
    uint32_t error = 0;
    EXPECT_EQ(source.read(buffer, 3, &error), 3u);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(source.tell(), 3u);
    EXPECT_EQ(source.read(buffer, 4, &error), 2u);
    EXPECT_EQ(buffer[1], 5);
    EXPECT_EQ(source.read(buffer, 1, &error), 0u);
    ASSERT_TRUE(source.seek(1, &error));
    EXPECT_EQ(source.read(buffer, 1, &error), 1u);
    EXPECT_EQ(buffer[0], 2);
}
