#include "core/pipe_block.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PipeBlock, PrefixIsLittleEndianBothWays)
{
    struct Case {
        uint32_t length;
        std::array<uint8_t, 4> wire;
    };
    const Case cases[] = {
        {0, {0x00, 0x00, 0x00, 0x00}},          {1, {0x01, 0x00, 0x00, 0x00}},
        {65535, {0xFF, 0xFF, 0x00, 0x00}},      {65536, {0x00, 0x00, 0x01, 0x00}},
        {70000, {0x70, 0x11, 0x01, 0x00}},      {0x7FFFFFFE, {0xFE, 0xFF, 0xFF, 0x7F}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}}, {0x80000000, {0x00, 0x00, 0x00, 0x80}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encodePipeBlockPrefix(c.length), c.wire) << c.length;
        EXPECT_EQ(decodePipeBlockPrefix(c.wire.data()), c.length) << c.length;
    }
}

TEST(PipeBlock, DecodeFindsWholeBlocksOnly)
{
    const std::vector<uint8_t> payload = {'a', 'b', 'c'};
    std::vector<uint8_t> wire = encodePipeBlock(payload.data(), payload.size());
    ASSERT_EQ(wire, (std::vector<uint8_t>{3, 0, 0, 0, 'a', 'b', 'c'}));
    wire.push_back(0xEE);  // the start of the next block is not consumed
    for (size_t cut = 0; cut < wire.size(); ++cut) {
        const PipeBlockView view = decodePipeBlock(wire.data(), cut);
        EXPECT_EQ(view.status, cut < 7 ? PipeBlockStatus::NeedMore : PipeBlockStatus::Complete) << cut;
        EXPECT_EQ(view.consumed, cut < 7 ? 0u : 7u) << cut;
    }
    const PipeBlockView view = decodePipeBlock(wire.data(), wire.size());
    EXPECT_EQ(std::vector<uint8_t>(view.payload, view.payload + view.length), payload);

    const std::vector<uint8_t> empty = encodePipeBlock(nullptr, 0);
    EXPECT_EQ(empty, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(decodePipeBlock(empty.data(), empty.size()).status, PipeBlockStatus::Complete);
    EXPECT_EQ(encodePipeBlock(payload.data(), 1), (std::vector<uint8_t>{1, 0, 0, 0, 'a'}));
}

TEST(PipeBlock, LengthsBeyondAJavaArrayAreRefused)
{
    for (uint32_t length : {0x7FFFFFFEu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        const auto prefix = encodePipeBlockPrefix(length);
        const bool accepted = length <= 0x7FFFFFFEu;
        EXPECT_EQ(pipeBlockLengthAccepted(length), accepted) << length;
        EXPECT_EQ(decodePipeBlock(prefix.data(), prefix.size()).status,
                  accepted ? PipeBlockStatus::NeedMore : PipeBlockStatus::TooLong)
            << length;
    }
}

TEST(PipeBlock, ReceiveBufferGrowsWithWhatArrived)
{
    // A length from the wire never sizes the buffer by itself: the room stays within twice what
    // arrived (or the first chunk), never passes the length, and always makes progress.
    for (size_t length : {size_t{0}, size_t{1}, kPipeBlockFirstChunk - 1, kPipeBlockFirstChunk, kPipeBlockFirstChunk + 1,
                          size_t{0x7FFFFFFE}}) {
        size_t received = 0;
        int steps = 0;
        while (received < length) {
            const size_t capacity = pipeBlockCapacity(received, length);
            ASSERT_GT(capacity, received);
            ASSERT_LE(capacity, length);
            ASSERT_LE(capacity, std::max<size_t>(2 * received, kPipeBlockFirstChunk));
            received = capacity;  // the peer filled it
            ++steps;
        }
        EXPECT_EQ(pipeBlockCapacity(length, length), length);
        EXPECT_LE(steps, 17) << length;
    }
    EXPECT_EQ(pipeBlockCapacity(kPipeBlockFirstChunk, 4 * kPipeBlockFirstChunk), 2 * kPipeBlockFirstChunk);
}
