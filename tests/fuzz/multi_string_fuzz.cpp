// libFuzzer target: REG_MULTI_SZ data of any content read by unpackMultiString never reads past
// its end, and lists it yields (without empty texts) pack back to data that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/multi_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so the sanitizer sees any read beyond the data.
    std::vector<char16_t> units(size / 2);
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
    std::vector<std::u16string> texts = unpackMultiString(units.data(), units.size());
    size_t total = 0;
    for (const std::u16string& text : texts) total += text.size() + 1;
    if (total > units.size() + 1) __builtin_trap();
    std::vector<std::u16string> kept;
    for (const std::u16string& text : texts)
        if (!text.empty()) kept.push_back(text);
    auto packed = packMultiString(kept, units.size() + 2);
    if (!packed || unpackMultiString(packed->data(), packed->size()) != kept) __builtin_trap();
    return 0;
}
