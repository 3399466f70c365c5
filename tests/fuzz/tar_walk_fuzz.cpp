// libFuzzer target: any bytes given to the tar walk must end in a result, never a crash, an
// overrun, or a name outside the target handed to the output.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>

#include "core/tar_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t position = 0;
    bool past = false;
    TarInput input;
    input.read = [&](void* buffer, size_t want) -> long {
        size_t count = position < size ? std::min(want, size - position) : 0;
        if (count < want) past = true;
        if (count > 0) std::memcpy(buffer, data + position, count);
        position += count;
        return static_cast<long>(count);
    };
    input.skip = [&](size_t count) {
        position += count;
        return true;
    };
    input.atEnd = [&] { return past; };
    input.position = [&] { return static_cast<uint64_t>(position); };

    TarOutput output;
    output.makeDirectory = [](const std::string& name) {
        if (!isSafeEntryName(name)) __builtin_trap();
    };
    output.openFile = [](const std::string& name) {
        if (!isSafeEntryName(name)) __builtin_trap();
        return true;
    };
    output.write = [](const void*, size_t) { return true; };
    output.closeFile = [] {};
    walkTar(input, output);
    return 0;
}
