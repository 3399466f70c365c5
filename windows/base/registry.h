// Reading and writing the registry through owned keys. Wide by default; the narrow forms exist
// for the keys the launcher reads in the ANSI code page (runtime search, version cache, flags).
// view is 0 (the process's own view), KEY_WOW64_64KEY or KEY_WOW64_32KEY, OR'ed into every access.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "windows/base/handles.h"

namespace registry_detail {
// Reads a value whose size may change between the size query and the read: query(type, data,
// size) answers as RegQueryValueEx does; a value that grew is asked for again (up to 8 times).
template <typename Query>
std::optional<std::vector<BYTE>> queryGrowing(Query query, DWORD* type)
{
    DWORD size = 0;
    DWORD valueType = 0;
    if (query(&valueType, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::vector<BYTE> data;
    for (int attempt = 0; attempt < 8; ++attempt) {
        data.resize(size + sizeof(wchar_t));
        DWORD got = size;
        LSTATUS result = query(&valueType, data.data(), &got);
        if (result == ERROR_MORE_DATA) {
            size = got > size ? got : size * 2 + 64;
            continue;
        }
        if (result != ERROR_SUCCESS) return std::nullopt;
        data.resize(got);
        if (type) *type = valueType;
        return data;
    }
    return std::nullopt;
}
}  // namespace registry_detail

// Opens path under root with access | view; an empty key on failure (the status in *status).
unique_hkey openKey(HKEY root, const wchar_t* path, REGSAM access, REGSAM view = 0, LSTATUS* status = nullptr);
unique_hkey openKey(HKEY root, const char* path, REGSAM access, REGSAM view = 0, LSTATUS* status = nullptr);
// Opens or creates path under root (non-volatile); an empty key on failure.
unique_hkey createKey(HKEY root, const wchar_t* path, REGSAM access, REGSAM view = 0, LSTATUS* status = nullptr);
unique_hkey createKey(HKEY root, const char* path, REGSAM access, REGSAM view = 0, LSTATUS* status = nullptr);

// A REG_DWORD value of key; nothing when missing or of another type or size.
std::optional<DWORD> readDword(HKEY key, const wchar_t* name);
std::optional<DWORD> readDword(HKEY key, const char* name);
// A REG_SZ or REG_EXPAND_SZ value (unexpanded) of any length, without its terminating NULs;
// nothing when missing or of another type.
std::optional<std::wstring> readString(HKEY key, const wchar_t* name);
std::optional<std::string> readString(HKEY key, const char* name);
// The raw bytes and type of a value of any size; nothing when missing.
std::optional<std::vector<BYTE>> readBytes(HKEY key, const wchar_t* name, DWORD* type = nullptr);

// A REG_SZ or REG_EXPAND_SZ value of subkey (null: of key itself), unexpanded, read into room for
// capacity characters and cut at its first NUL (the data may lack a terminator). The registry's
// status: ERROR_MORE_DATA when the value needs more room. value is untouched unless it succeeds.
LSTATUS readStringCapped(HKEY key, const wchar_t* subkey, const wchar_t* name, DWORD capacity, std::wstring& value);
LSTATUS readStringCapped(HKEY key, const char* subkey, const char* name, DWORD capacity, std::string& value);

// Writes a REG_DWORD; the Win32 status.
LSTATUS writeDword(HKEY key, const wchar_t* name, DWORD value);
LSTATUS writeDword(HKEY key, const char* name, DWORD value);
// Writes a REG_SZ with its terminating NUL; the Win32 status.
LSTATUS writeString(HKEY key, const wchar_t* name, const std::wstring& value);

// The names of the direct subkeys and of the values of key, in enumeration order. An index that
// fails with another status than ERROR_NO_MORE_ITEMS ends the walk (a key changed meanwhile).
std::vector<std::wstring> subkeyNames(HKEY key);
std::vector<std::string> subkeyNamesNarrow(HKEY key);
std::vector<std::wstring> valueNames(HKEY key);
