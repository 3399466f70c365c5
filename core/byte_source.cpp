#include "core/byte_source.h"

#include <algorithm>
#include <cstring>
#include <memory>

ByteSource memoryByteSource(const std::vector<uint8_t>& bytes)
{
    auto position = std::make_shared<uint64_t>(0);
    ByteSource source;
    source.read = [&bytes, position](void* buffer, size_t size, uint32_t*) -> size_t {
        if (*position >= bytes.size()) return 0;
        size_t count = static_cast<size_t>(std::min<uint64_t>(size, bytes.size() - *position));
        std::memcpy(buffer, bytes.data() + *position, count);
        *position += count;
        return count;
    };
    source.seek = [position](uint64_t offset, uint32_t*) {
        *position = offset;
        return true;
    };
    source.tell = [position]() { return *position; };
    return source;
}
