// libFuzzer target: payload names. A name the check accepts stays below the directory it is
// joined to once Windows has dropped trailing dots and blanks from each component, and names no
// drive, stream or device; the name list yields at most the count asked for, none empty.
#include "core/device_names.h"
#include "core/payload_names.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string name = fuzzWide(data, size);
    if (isSafePayloadName(name)) {
        FUZZ_CHECK(name.find(u':') == std::u16string::npos);
        size_t start = 0;
        while (start <= name.size()) {
            size_t end = name.find_first_of(u"\\/", start);
            if (end == std::u16string::npos) end = name.size();
            std::u16string component = name.substr(start, end - start);
            FUZZ_CHECK(!isDeviceName(component));
            while (!component.empty() && (component.back() == u'.' || component.back() == u' ')) component.pop_back();
            FUZZ_CHECK(!component.empty());
            start = end + 1;
        }
    }
    const std::string list = fuzzText(data, size);
    const int64_t count = size > 0 ? data[0] % 8 : 0;
    std::vector<std::string> names = includedFileNames(list, count);
    FUZZ_CHECK(static_cast<int64_t>(names.size()) <= count);
    std::string joined;
    for (const std::string& entry : names) {
        FUZZ_CHECK(!entry.empty() && entry.find(';') == std::string::npos);
        joined += (joined.empty() ? "" : ";") + entry;
    }
    FUZZ_CHECK(list.compare(0, joined.size(), joined) == 0);
    return 0;
}
