#include "core/text.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at position; false on a malformed, overlong, surrogate or
// out-of-range sequence.
bool decodeUtf8(const std::string& text, size_t& position, char32_t& out)
{
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(position);
    size_t length;
    char32_t value;
    char32_t minimum;
    if (lead < 0x80) {
        out = lead;
        ++position;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - position < length) return false;
    for (size_t i = 1; i < length; ++i) {
        uint8_t next = byte(position + i);
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    out = value;
    position += length;
    return true;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Windows-1252 bytes 0x80..0x9F; the five unassigned bytes map to the same code point, as
// Windows' own conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t cp1252ToCodePoint(uint8_t byte)
{
    return (byte >= 0x80 && byte < 0xA0) ? kCp1252High[byte - 0x80] : byte;
}

}  // namespace

bool utf8ToUtf16(const std::string& utf8, std::u16string& out)
{
    std::u16string result;
    result.reserve(utf8.size());
    size_t position = 0;
    while (position < utf8.size()) {
        char32_t c;
        if (!decodeUtf8(utf8, position, c)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            result += static_cast<char16_t>(0xD800 + (c >> 10));
            result += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            result += static_cast<char16_t>(c);
        }
    }
    out = std::move(result);
    return true;
}

std::string utf16ToUtf8(const std::u16string& utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

bool utf8ToCp1252(const std::string& utf8, std::string& out)
{
    std::string result;
    result.reserve(utf8.size());
    size_t position = 0;
    while (position < utf8.size()) {
        char32_t c;
        if (!decodeUtf8(utf8, position, c)) return false;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            result += static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i) {
            if (kCp1252High[i] == c) found = i;
        }
        if (found < 0) return false;
        result += static_cast<char>(0x80 + found);
    }
    out = std::move(result);
    return true;
}

std::string cp1252ToUtf8(const std::string& cp1252)
{
    std::string out;
    out.reserve(cp1252.size());
    for (char byte : cp1252) appendUtf8(out, cp1252ToCodePoint(static_cast<uint8_t>(byte)));
    return out;
}

std::u16string widenBytes(const std::string& narrow)
{
    std::u16string out;
    out.reserve(narrow.size());
    for (char byte : narrow) out += static_cast<char16_t>(static_cast<uint8_t>(byte));
    return out;
}

std::u16string asciiToUtf16(const char* ascii)
{
    std::u16string out;
    for (; *ascii; ++ascii) out += static_cast<char16_t>(static_cast<uint8_t>(*ascii));
    return out;
}
