// Optional operating-system functions, bound at run time by library and name. Their absence is
// normal on older systems and under Wine: every lookup answers null and the caller falls back.
#pragma once

#include <windows.h>

namespace system_functions_detail {
FARPROC address(HMODULE module, const char* name);
}

// A system DLL loaded by its full path in the system directory, never from the search path;
// null when it cannot be loaded. The module stays loaded for the life of the process.
HMODULE loadSystemLibrary(const wchar_t* name);

// The function name of module, typed; null when module is null or lacks it.
template <typename Function>
Function boundFunction(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(system_functions_detail::address(module, name)));
}

// The function name of an already loaded module (GetModuleHandleW); null when either is missing.
template <typename Function>
Function loadedFunction(const wchar_t* module, const char* name)
{
    return boundFunction<Function>(::GetModuleHandleW(module), name);
}

// A kernel32 function; null when this system's kernel32 lacks it.
template <typename Function>
Function kernelFunction(const char* name)
{
    return loadedFunction<Function>(L"kernel32.dll", name);
}

// The real Windows version from ntdll (GetVersionEx answers by the manifest); false when unknown.
bool realWindowsVersion(OSVERSIONINFOEXW& version);

// AddDllDirectory / RemoveDllDirectory where the system has them (null cookie / false otherwise).
DLL_DIRECTORY_COOKIE systemAddDllDirectory(const wchar_t* directory);
bool systemRemoveDllDirectory(DLL_DIRECTORY_COOKIE cookie);
