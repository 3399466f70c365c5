#include "core/multi_string.h"

std::optional<std::u16string> packMultiString(const std::vector<std::u16string>& texts, size_t maxUnits)
{
    std::u16string data;
    for (const std::u16string& whole : texts) {
        const std::u16string text = whole.substr(0, whole.find(u'\0'));
        if (text.empty()) return std::nullopt;
        // This text, its NUL and the closing NUL must still fit.
        if (text.size() > maxUnits || data.size() + 2 > maxUnits - text.size()) return std::nullopt;
        data += text;
        data += u'\0';
    }
    if (data.size() + 1 > maxUnits) return std::nullopt;
    data += u'\0';
    return data;
}

std::vector<std::u16string> unpackMultiString(const char16_t* data, size_t units)
{
    std::vector<std::u16string> texts;
    if (units < 2) return texts;
    size_t position = 0;
    while (position < units - 1) {
        size_t end = position;
        while (end < units && data[end] != u'\0') ++end;
        texts.emplace_back(data + position, end - position);
        position = end + 1;
    }
    return texts;
}
