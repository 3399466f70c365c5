#include "core/pipe_block.h"

#include <algorithm>
#include <cstring>

std::array<uint8_t, kPipeBlockPrefixSize> encodePipeBlockPrefix(uint32_t length)
{
    return {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
            static_cast<uint8_t>(length >> 24)};
}

uint32_t decodePipeBlockPrefix(const uint8_t* prefix)
{
    return static_cast<uint32_t>(prefix[0]) | static_cast<uint32_t>(prefix[1]) << 8 |
           static_cast<uint32_t>(prefix[2]) << 16 | static_cast<uint32_t>(prefix[3]) << 24;
}

size_t pipeBlockCapacity(size_t received, size_t length)
{
    if (received >= length) return length;
    const size_t grown = received < kPipeBlockFirstChunk ? kPipeBlockFirstChunk : received * 2;
    return std::min(std::max(grown, received + 1), length);
}

std::vector<uint8_t> encodePipeBlock(const uint8_t* payload, size_t size)
{
    const auto prefix = encodePipeBlockPrefix(static_cast<uint32_t>(size));
    std::vector<uint8_t> block(kPipeBlockPrefixSize + size);
    std::memcpy(block.data(), prefix.data(), kPipeBlockPrefixSize);
    if (size > 0) std::memcpy(block.data() + kPipeBlockPrefixSize, payload, size);
    return block;
}

PipeBlockView decodePipeBlock(const uint8_t* data, size_t size)
{
    PipeBlockView view;
    if (size < kPipeBlockPrefixSize) return view;
    const uint32_t length = decodePipeBlockPrefix(data);
    view.length = length;
    if (!pipeBlockLengthAccepted(length)) {
        view.status = PipeBlockStatus::TooLong;
        return view;
    }
    if (size - kPipeBlockPrefixSize < length) return view;
    view.status = PipeBlockStatus::Complete;
    view.payload = data + kPipeBlockPrefixSize;
    view.consumed = kPipeBlockPrefixSize + length;
    return view;
}
