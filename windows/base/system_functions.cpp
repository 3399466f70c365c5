#include "windows/base/system_functions.h"

#include <string>

FARPROC system_functions_detail::address(HMODULE module, const char* name)
{
    return module != nullptr ? ::GetProcAddress(module, name) : nullptr;
}

HMODULE loadSystemLibrary(const wchar_t* name)
{
    // The flag also keeps the DLL's own dependencies in the system directory: a plain load of the
    // full path would look for them in the added DLL directories (the extraction directory) first.
    if (HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Systems without the search flags refuse them as an invalid parameter.
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    wchar_t directory[MAX_PATH + 1];
    UINT length = ::GetSystemDirectoryW(directory, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return nullptr;
    std::wstring path = std::wstring(directory, length) + L"\\" + name;
    return ::LoadLibraryW(path.c_str());
}

bool realWindowsVersion(OSVERSIONINFOEXW& version)
{
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto getVersion = loadedFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    version = OSVERSIONINFOEXW{};
    version.dwOSVersionInfoSize = sizeof version;
    return getVersion != nullptr && getVersion(&version) == 0;
}

DLL_DIRECTORY_COOKIE systemAddDllDirectory(const wchar_t* directory)
{
    auto add = KERNEL_FUNCTION(AddDllDirectory);
    return add != nullptr ? add(directory) : nullptr;
}

bool systemRemoveDllDirectory(DLL_DIRECTORY_COOKIE cookie)
{
    auto remove = KERNEL_FUNCTION(RemoveDllDirectory);
    return remove != nullptr && cookie != nullptr && remove(cookie) != FALSE;
}
