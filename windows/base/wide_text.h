// Conversions at the Win32 boundary: UTF-16 std::u16string of the core and std::wstring of Windows
// have the same layout; narrow text is in a Windows code page.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

inline std::wstring toWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string toU16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// Narrow text in codePage to UTF-16; empty on failure.
std::wstring narrowToWide(const std::string& text, UINT codePage = CP_ACP);
// UTF-16 to narrow text in codePage; *lossy (when given) tells whether a character had no form there.
std::string wideToNarrow(const std::wstring& text, UINT codePage = CP_ACP, bool* lossy = nullptr);

// Strict UTF-8 to UTF-16: nothing for empty text or any invalid sequence.
std::optional<std::wstring> strictUtf8ToWide(const std::string& text);

// printf-style formatting with the Windows convention (%s wide, %S narrow in a wide format).
std::wstring formatWide(const wchar_t* format, ...);
std::wstring formatWideV(const wchar_t* format, va_list arguments);

// The module file name of module (null: this executable), of any length; empty on failure.
std::wstring moduleFileName(HMODULE module = nullptr);
