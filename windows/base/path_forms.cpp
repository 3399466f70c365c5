#include "windows/base/path_forms.h"

#include <windows.h>

#include "windows/base/wide_text.h"

namespace {

// Asks once for the size, then for the text; a result that no longer fits counts as a failure.
template <typename Char, typename Query>
std::basic_string<Char> queryPathForm(const std::basic_string<Char>& path, Query query)
{
    DWORD length = query(path.c_str(), nullptr, 0);
    if (length == 0) return {};
    std::basic_string<Char> result(length, Char());
    length = query(path.c_str(), result.data(), length);
    if (length == 0 || length >= result.size()) return {};
    result.resize(length);
    return result;
}

template <typename Char>
std::basic_string<Char> orOriginal(std::basic_string<Char> form, const std::basic_string<Char>& path)
{
    return form.empty() ? path : form;
}

}  // namespace

std::wstring longPathWide(const std::wstring& path) { return queryPathForm(path, ::GetLongPathNameW); }
std::string longPathNarrow(const std::string& path) { return queryPathForm(path, ::GetLongPathNameA); }
std::wstring shortPathWide(const std::wstring& path) { return queryPathForm(path, ::GetShortPathNameW); }
std::string shortPathNarrow(const std::string& path) { return queryPathForm(path, ::GetShortPathNameA); }

std::wstring fullPathWide(const std::wstring& path)
{
    auto query = [](const wchar_t* p, wchar_t* out, DWORD size) { return ::GetFullPathNameW(p, size, out, nullptr); };
    return orOriginal(queryPathForm(path, query), path);
}

std::string fullPathNarrow(const std::string& path)
{
    auto query = [](const char* p, char* out, DWORD size) { return ::GetFullPathNameA(p, size, out, nullptr); };
    return orOriginal(queryPathForm(path, query), path);
}

std::optional<std::string> ansiPathForm(const std::wstring& path, bool* viaShortForm)
{
    if (viaShortForm) *viaShortForm = false;
    std::string narrow = wideToNarrow(path, CP_ACP);
    if (narrowToWide(narrow, CP_ACP) == path) return narrow;
    std::wstring shortForm = shortPathWide(path);
    std::string shortNarrow = wideToNarrow(shortForm, CP_ACP);
    if (shortForm.empty() || narrowToWide(shortNarrow, CP_ACP) != shortForm) return std::nullopt;
    if (viaShortForm) *viaShortForm = true;
    return shortNarrow;
}
