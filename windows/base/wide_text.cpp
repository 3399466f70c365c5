#include "windows/base/wide_text.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace {

// Narrow text in codePage to UTF-16 with MultiByteToWideChar's flags; nothing for empty text or a failure.
std::optional<std::wstring> convertToWide(const std::string& text, UINT codePage, DWORD flags)
{
    if (text.empty()) return std::nullopt;
    int length = ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

std::wstring narrowToWide(const std::string& text, UINT codePage)
{
    return convertToWide(text, codePage, 0).value_or(std::wstring());
}

std::optional<std::wstring> strictUtf8ToWide(const std::string& text)
{
    return convertToWide(text, CP_UTF8, MB_ERR_INVALID_CHARS);
}

std::string wideToNarrow(const std::wstring& text, UINT codePage, bool* lossy)
{
    if (lossy) *lossy = false;
    if (text.empty()) return {};
    BOOL usedDefault = FALSE;
    // UTF-8 and UTF-7 refuse the default-character arguments.
    BOOL* usedDefaultPointer = (codePage == CP_UTF8 || codePage == CP_UTF7) ? nullptr : &usedDefault;
    int length = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, usedDefaultPointer);
    if (length <= 0) {
        if (lossy) *lossy = true;
        return {};
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                          usedDefaultPointer);
    if (lossy) *lossy = usedDefault != FALSE;
    return narrow;
}

std::wstring formatWideV(const wchar_t* format, va_list arguments)
{
    va_list counting;
    va_copy(counting, arguments);
    int length = ::_vscwprintf(format, counting);
    va_end(counting);
    if (length < 0) return format;
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    ::_vsnwprintf(buffer.data(), buffer.size(), format, arguments);
    buffer.back() = L'\0';
    return std::wstring(buffer.data(), static_cast<size_t>(length));
}

std::wstring formatWide(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::wstring text = formatWideV(format, arguments);
    va_end(arguments);
    return text;
}

std::wstring moduleFileName(HMODULE module)
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
}
