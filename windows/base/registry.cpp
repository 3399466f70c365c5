#include "windows/base/registry.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr DWORD kStringTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;

LSTATUS report(LSTATUS result, LSTATUS* status)
{
    if (status) *status = result;
    return result;
}

template <typename Text>
std::optional<Text> stringFrom(std::vector<BYTE>& data)
{
    using Unit = typename Text::value_type;
    Text text(reinterpret_cast<const Unit*>(data.data()), data.size() / sizeof(Unit));
    while (!text.empty() && text.back() == Unit(0)) text.pop_back();
    return text;
}

template <typename Char, typename Enumerate>
std::vector<std::basic_string<Char>> names(Enumerate enumerate)
{
    std::vector<std::basic_string<Char>> result;
    std::vector<Char> buffer(256);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        LSTATUS status = enumerate(index, buffer.data(), &length);
        if (status == ERROR_MORE_DATA && buffer.size() < 32768) {
            buffer.resize(32768);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        result.emplace_back(buffer.data(), length);
    }
    return result;
}

}  // namespace

unique_hkey openKey(HKEY root, const wchar_t* path, REGSAM access, REGSAM view, LSTATUS* status)
{
    unique_hkey key;
    report(::RegOpenKeyExW(root, path, 0, access | view, key.put()), status);
    return key;
}

unique_hkey openKey(HKEY root, const char* path, REGSAM access, REGSAM view, LSTATUS* status)
{
    unique_hkey key;
    report(::RegOpenKeyExA(root, path, 0, access | view, key.put()), status);
    return key;
}

unique_hkey createKey(HKEY root, const wchar_t* path, REGSAM access, REGSAM view, LSTATUS* status)
{
    unique_hkey key;
    report(::RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access | view, nullptr, key.put(), nullptr),
           status);
    return key;
}

unique_hkey createKey(HKEY root, const char* path, REGSAM access, REGSAM view, LSTATUS* status)
{
    unique_hkey key;
    report(::RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access | view, nullptr, key.put(), nullptr),
           status);
    return key;
}

std::optional<DWORD> readDword(HKEY key, const wchar_t* name)
{
    DWORD value = 0, type = 0, size = sizeof value;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<DWORD> readDword(HKEY key, const char* name)
{
    DWORD value = 0, type = 0, size = sizeof value;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::vector<BYTE>> readBytes(HKEY key, const wchar_t* name, DWORD* type)
{
    return registry_detail::queryGrowing([&](DWORD* valueType, BYTE* data, DWORD* size) {
        return ::RegQueryValueExW(key, name, nullptr, valueType, data, size);
    }, type);
}

std::optional<std::wstring> readString(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    auto data = readBytes(key, name, &type);
    if (!data || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    return stringFrom<std::wstring>(*data);
}

std::optional<std::string> readString(HKEY key, const char* name)
{
    DWORD type = 0;
    auto data = registry_detail::queryGrowing([&](DWORD* valueType, BYTE* bytes, DWORD* size) {
        return ::RegQueryValueExA(key, name, nullptr, valueType, bytes, size);
    }, &type);
    if (!data || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    return stringFrom<std::string>(*data);
}

LSTATUS readStringCapped(HKEY key, const wchar_t* subkey, const wchar_t* name, DWORD capacity, std::wstring& value)
{
    std::vector<wchar_t> data(capacity);
    DWORD size = capacity * sizeof(wchar_t);
    LSTATUS result = ::RegGetValueW(key, subkey, name, kStringTypes, nullptr, data.data(), &size);
    if (result == ERROR_SUCCESS) value.assign(data.data(), wcsnlen(data.data(), size / sizeof(wchar_t)));
    return result;
}

LSTATUS readStringCapped(HKEY key, const char* subkey, const char* name, DWORD capacity, std::string& value)
{
    std::vector<char> data(capacity);
    DWORD size = capacity;
    LSTATUS result = ::RegGetValueA(key, subkey, name, kStringTypes, nullptr, data.data(), &size);
    if (result == ERROR_SUCCESS) value.assign(data.data(), strnlen(data.data(), size));
    return result;
}

LSTATUS writeDword(HKEY key, const wchar_t* name, DWORD value)
{
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LSTATUS writeDword(HKEY key, const char* name, DWORD value)
{
    return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LSTATUS writeString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::wstring> subkeyNames(HKEY key)
{
    return names<wchar_t>([key](DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<std::string> subkeyNamesNarrow(HKEY key)
{
    return names<char>([key](DWORD index, char* name, DWORD* length) {
        return ::RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<std::wstring> valueNames(HKEY key)
{
    return names<wchar_t>([key](DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}
