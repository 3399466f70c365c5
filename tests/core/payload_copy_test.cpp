#include "core/payload_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/config_format.h"

namespace {

// A payload source over bytes, optionally ending early or failing after some bytes.
struct Source {
    std::vector<uint8_t> bytes;
    size_t position = 0;
    size_t failAt = SIZE_MAX;  // an I/O error once position reaches this
    size_t reads = 0;

    PayloadRead reader()
    {
        return [this](void* buffer, size_t size, size_t* got, uint32_t* error) {
            ++reads;
            if (position >= failAt) {  // *got is left as it was
                *error = 23;
                return false;
            }
            size_t count = std::min(size, bytes.size() - position);
            std::memcpy(buffer, bytes.data() + position, count);
            position += count;
            *got = count;
            return true;
        };
    }
};

// A sink that accepts at most `limit` bytes per call and fails once `capacity` is reached.
struct Sink {
    std::vector<uint8_t> bytes;
    size_t limit = SIZE_MAX;
    size_t capacity = SIZE_MAX;

    PayloadWrite writer()
    {
        return [this](const void* buffer, size_t size, size_t* written, uint32_t* error) {
            if (bytes.size() >= capacity) {
                *written = 0;
                *error = 112;
                return false;
            }
            size_t count = std::min({size, limit, capacity - bytes.size()});
            const uint8_t* data = static_cast<const uint8_t*>(buffer);
            bytes.insert(bytes.end(), data, data + count);
            *written = count;
            return true;
        };
    }
};

std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return bytes;
}

std::vector<uint8_t> masked(std::vector<uint8_t> bytes)
{
    maskPayload(bytes.data(), bytes.size());
    return bytes;
}

}  // namespace

TEST(PayloadCopy, UnmasksEveryByteWhateverTheChunkAndTailSizes)
{
    for (size_t bufferSize : {size_t{1}, size_t{7}, size_t{8}, size_t{6000}, size_t{1} << 20}) {
        for (size_t size : {size_t{1}, size_t{9}, size_t{6001}, size_t{100003}}) {
            const std::vector<uint8_t> plain = pattern(size);
            Source source{masked(plain)};
            source.bytes.push_back(0x55);  // the next file's data must stay unread
            Sink sink;
            std::vector<uint8_t> buffer(bufferSize);
            PayloadCopyStatus status = copyPayloadFile(static_cast<int64_t>(size), buffer.data(), buffer.size(),
                                                       source.reader(), sink.writer());
            ASSERT_EQ(status.result, PayloadCopyResult::Done) << bufferSize << " " << size;
            EXPECT_EQ(sink.bytes, plain) << bufferSize << " " << size;
            EXPECT_EQ(source.position, size);
            EXPECT_EQ(status.copied, static_cast<int64_t>(size));
        }
    }
}

TEST(PayloadCopy, PartialWritesAreRepeatedUntilTheChunkIsWritten)
{
    const std::vector<uint8_t> plain = pattern(10000);
    Source source{masked(plain)};
    Sink sink;
    sink.limit = 333;
    std::vector<uint8_t> buffer(4096);
    PayloadCopyStatus status = copyPayloadFile(10000, buffer.data(), buffer.size(), source.reader(), sink.writer());
    EXPECT_EQ(status.result, PayloadCopyResult::Done);
    EXPECT_EQ(sink.bytes, plain);
}

TEST(PayloadCopy, DataEndingBeforeTheLengthIsAReadFailureNotSuccess)
{
    // The data ends, or a read fails with an error.
    for (size_t failAt : {SIZE_MAX, size_t{1000}}) {
        Source source{masked(pattern(2500)), 0, failAt};
        Sink sink;
        std::vector<uint8_t> buffer(1000);
        PayloadCopyStatus status = copyPayloadFile(4000, buffer.data(), buffer.size(), source.reader(), sink.writer());
        EXPECT_EQ(status.result, PayloadCopyResult::ReadFailed);
        EXPECT_EQ(status.copied, failAt == SIZE_MAX ? 2500 : 1000);
        EXPECT_EQ(status.lastRead, 0u);
        EXPECT_EQ(status.systemError, failAt == SIZE_MAX ? 0u : 23u);
    }
    // A read that fails part-way reports what it got.
    PayloadRead partial = [](void*, size_t, size_t* got, uint32_t* error) {
        *got = 7;
        *error = 38;
        return false;
    };
    Sink sink;
    std::vector<uint8_t> buffer(1000);
    PayloadCopyStatus status = copyPayloadFile(4000, buffer.data(), buffer.size(), partial, sink.writer());
    EXPECT_EQ(status.lastRead, 7u);
    EXPECT_EQ(status.systemError, 38u);
}

TEST(PayloadCopy, TheLengthIsSignedLittleEndian)
{
    const uint8_t length[8] = {1, 2, 3, 4, 5, 6, 7, 0x80};
    EXPECT_EQ(decodePayloadLength(length), static_cast<int64_t>(0x8007060504030201u));
}

TEST(PayloadCopy, AFullTargetIsAWriteFailureWithTheBytesLeft)
{
    Source source{masked(pattern(5000))};
    Sink sink;
    sink.capacity = 2500;
    std::vector<uint8_t> buffer(1000);
    PayloadCopyStatus status = copyPayloadFile(5000, buffer.data(), buffer.size(), source.reader(), sink.writer());
    EXPECT_EQ(status.result, PayloadCopyResult::WriteFailed);
    EXPECT_EQ(status.copied, 2000);
    EXPECT_EQ(status.unwritten, 500u);
    EXPECT_EQ(status.systemError, 112u);
}

TEST(PayloadCopy, AWriteThatMakesNoProgressFailsInsteadOfLooping)
{
    Source source{masked(pattern(100))};
    PayloadWrite stuck = [](const void*, size_t, size_t* written, uint32_t*) {
        *written = 0;
        return true;
    };
    std::vector<uint8_t> buffer(64);
    PayloadCopyStatus status = copyPayloadFile(100, buffer.data(), buffer.size(), source.reader(), stuck);
    EXPECT_EQ(status.result, PayloadCopyResult::WriteFailed);
    EXPECT_EQ(status.unwritten, 64u);
    EXPECT_EQ(status.systemError, 0u);  // the write reported none
}
