// libFuzzer target: text conversions. Valid UTF-8 round-trips through UTF-16 and, where it has
// a form there, through Windows-1252; any UTF-16 converts to UTF-8 that reads back; any
// Windows-1252 bytes round-trip through UTF-8.
#include "core/text.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = fuzzText(data, size);
    std::u16string wide;
    if (utf8ToUtf16(bytes, wide)) FUZZ_CHECK(utf16ToUtf8(wide) == bytes);
    std::string narrow;
    if (utf8ToCp1252(bytes, narrow)) FUZZ_CHECK(cp1252ToUtf8(narrow) == bytes);

    const std::string utf8 = cp1252ToUtf8(bytes);
    std::string back;
    FUZZ_CHECK(utf8ToCp1252(utf8, back) && back == bytes);

    const std::u16string units = fuzzWide(data, size);
    std::u16string again;
    FUZZ_CHECK(utf8ToUtf16(utf16ToUtf8(units), again));
    FUZZ_CHECK(again.size() == units.size());
    FUZZ_CHECK(widenBytes(bytes).size() == bytes.size());
    return 0;
}
