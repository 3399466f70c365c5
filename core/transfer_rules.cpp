#include "core/transfer_rules.h"

bool windowFits(int32_t arrayLength, int32_t offset, int32_t length)
{
    if (arrayLength < 0 || offset < 0 || length < 0) return false;
    // offset <= arrayLength - length cannot overflow, unlike offset + length.
    return length <= arrayLength && offset <= arrayLength - length;
}

bool headerBlockHasLines(const char* block, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (block[i] != '\r' && block[i] != '\n' && block[i] != '\0') return true;
    return false;
}

namespace {

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Whether text at position starts with the lower-case ASCII word, in any letter case.
bool startsWithFolded(const std::u16string& text, size_t position, const char* word)
{
    for (; *word != '\0'; ++word, ++position) {
        if (position >= text.size()) return false;
        char16_t c = text[position];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != static_cast<char16_t>(*word)) return false;
    }
    return true;
}

}  // namespace

DownloadAddress parseDownloadAddress(const std::u16string& address)
{
    DownloadAddress parsed;
    parsed.url = address;
    parsed.plainHttp = startsWithFolded(address, 0, "http:");
    const size_t fragment = address.find(u'#');
    if (fragment == std::u16string::npos || !startsWithFolded(address, fragment + 1, "sha256=")) return parsed;
    // From here on the address asks for a check: a digest that cannot be read refuses the download
    // rather than skipping the check.
    parsed.url = address.substr(0, fragment);
    parsed.hash = DownloadAddress::Hash::Malformed;
    const size_t digits = fragment + 1 + 7;
    if (address.size() - digits != 2 * parsed.sha256.size()) return parsed;
    for (size_t i = 0; i < parsed.sha256.size(); ++i) {
        const int high = hexValue(address[digits + 2 * i]);
        const int low = hexValue(address[digits + 2 * i + 1]);
        if (high < 0 || low < 0) return parsed;
        parsed.sha256[i] = static_cast<uint8_t>(high << 4 | low);
    }
    parsed.hash = DownloadAddress::Hash::Given;
    return parsed;
}
