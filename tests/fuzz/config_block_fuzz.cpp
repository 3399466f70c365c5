// libFuzzer target: any bytes given to the config block reader must yield a result or a read
// failure, never a crash, an overrun or an allocation far beyond the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/config_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    {
        ByteSource source = memoryByteSource(bytes);
        ConfigBlock block;
        ReadError error = parseConfigBlock(source, [] { return std::string("pt_BR"); }, true, block);
        if (error.failure == ReadFailure::None && block.payloadStart > bytes.size()) __builtin_trap();
    }
    {
        ByteSource source = memoryByteSource(bytes);
        OverlayLocation location;
        locateOverlay(source, location);
    }
    return 0;
}
