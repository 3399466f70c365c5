// libFuzzer target: the status-line format gate. A format it accepts, given the four values the
// download passes, formats within a small bound, whatever the translation asks for.
#include <cwchar>

#include "core/status_format.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string format = fuzzWide(data, size);
    if (!formatTakesOnlyDoubles(format, 4)) return 0;
    std::wstring wide;
    for (char16_t c : format) wide += (c >= 0xD800 && c <= 0xDFFF) ? L'?' : static_cast<wchar_t>(c);
    // Every conversion is at most width or precision plus the digits of the largest value.
    const size_t bound = format.size() + 4 * (2 * kStatusFieldLimit + 64);
    std::vector<wchar_t> buffer(bound + 1);
    int written = std::swprintf(buffer.data(), buffer.size(), wide.c_str(), 1.0e12, 123456.789, 100.0, 98765.4321);
    FUZZ_CHECK(written >= 0 && static_cast<size_t>(written) <= bound);
    return 0;
}
