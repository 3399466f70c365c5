// libFuzzer target: decoding pipe blocks from any bytes never reads past the input and only ever
// reports a block that lies wholly inside it; a payload encoded and decoded comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/pipe_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input copied to a buffer of exactly its size, so a read past it is an overrun ASan sees.
    std::vector<uint8_t> bytes(data, data + size);
    size_t at = 0;
    while (at < bytes.size()) {
        const PipeBlockView view = decodePipeBlock(bytes.data() + at, bytes.size() - at);
        if (view.status != PipeBlockStatus::Complete) break;
        if (view.consumed != kPipeBlockPrefixSize + view.length || view.consumed > bytes.size() - at) __builtin_trap();
        if (view.payload != bytes.data() + at + kPipeBlockPrefixSize) __builtin_trap();
        at += view.consumed;
    }

    const std::vector<uint8_t> wire = encodePipeBlock(bytes.data(), bytes.size());
    const PipeBlockView view = decodePipeBlock(wire.data(), wire.size());
    if (view.status != PipeBlockStatus::Complete || view.consumed != wire.size() || view.length != size) __builtin_trap();
    if (size > 0 && std::memcmp(view.payload, bytes.data(), size) != 0) __builtin_trap();
    // Cut one byte short, the same block is incomplete.
    if (decodePipeBlock(wire.data(), wire.size() - 1).status != PipeBlockStatus::NeedMore) __builtin_trap();

    // The receive buffer's growth for any announced length stays bounded and makes progress.
    if (size >= 4) {
        const uint32_t length = decodePipeBlockPrefix(bytes.data());
        const size_t received = size - 4;
        if (received < length) {
            const size_t capacity = pipeBlockCapacity(received, length);
            if (capacity <= received || capacity > length) __builtin_trap();
            if (capacity > 2 * received && capacity > kPipeBlockFirstChunk) __builtin_trap();
        }
    }
    return 0;
}
