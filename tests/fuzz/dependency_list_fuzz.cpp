// libFuzzer target: any text given as a dependency list yields a list within its capacity that
// holds exactly the non-empty comma-separated pieces before the first NUL, or a refusal; never
// an overrun.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/service_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string names;
    for (size_t i = 0; i + 1 < size; i += 2) names.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::u16string list = u"x";
    const bool built = dependencyList(names, list);
    names = names.substr(0, names.find(u'\0'));  // what the list is made of
    if (!built) {
        if (list != u"x" || names.size() + 2 <= kDependencyListCapacity) __builtin_trap();
        return 0;
    }
    if (list.size() > kDependencyListCapacity || list.size() < 2 || list.back() != u'\0' || list[list.size() - 2] != u'\0')
        __builtin_trap();
    // The pieces joined again by commas are the input without its empty pieces.
    std::u16string expected;
    size_t begin = 0;
    while (begin <= names.size()) {
        size_t end = names.find(u',', begin);
        if (end == std::u16string::npos) end = names.size();
        if (end > begin) expected += (expected.empty() ? u"" : u",") + names.substr(begin, end - begin);
        begin = end + 1;
    }
    std::u16string joined;
    for (size_t at = 0; at < list.size() && list[at] != u'\0'; at = list.find(u'\0', at) + 1) {
        if (!joined.empty()) joined += u",";
        joined += list.substr(at, list.find(u'\0', at) - at);
    }
    if (joined != expected) __builtin_trap();
    return 0;
}
