// libFuzzer target: any bytes given to the tar walk must end in a result, never a crash, an
// overrun, a name outside the target handed to the output, or an output call its contract rules out.
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

    // Names starting with "!" cannot be created and blocks starting with "!" fail to write; after
    // either failure the output takes no call but closing the file that is open.
    bool open = false;
    bool failed = false;
    auto check = [](bool allowed) {
        if (!allowed) __builtin_trap();
    };
    TarOutput output;
    output.makeDirectory = [&](const std::string& name) { check(!failed && isSafeEntryName(name)); };
    output.openFile = [&](const std::string& name) {
        check(!failed && !open && isSafeEntryName(name));
        open = name[0] != '!';
        failed = !open;
        return open;
    };
    output.write = [&](const void* bytes, size_t) {
        check(!failed && open);
        failed = *static_cast<const char*>(bytes) == '!';
        return !failed;
    };
    output.closeFile = [&] { check(open), open = false; };
    output.info = [&](const std::string&) { check(!failed); };
    walkTar(input, output);
    return 0;
}
