#include "windows/process_environment.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cwctype>
#include <string>

#include "core/config_keys.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/native_log.h"
#include "windows/temp_dirs.h"
#include "windows/variables.h"

namespace {

unique_handle& commonControlsThread()
{
    static unique_handle thread;
    return thread;
}

DWORD WINAPI initCommonControlsThread(void*)
{
    initCommonControls();
    return 0;
}

bool isWindowsVista()
{
    // GetVersionEx lies to programs without a compatibility manifest entry; ntdll tells the truth.
    OSVERSIONINFOEXW version;
    if (!realWindowsVersion(version)) return false;
    return version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
}

}  // namespace

void restrictDllSearch()
{
    if (isWindowsVista()) return;
    auto setDefault = KERNEL_FUNCTION(SetDefaultDllDirectories);
    if (setDefault == nullptr) return;
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    logInfo(L"restrict DLL directories");
}

void preloadSystemDlls()
{
    static bool done = false;
    if (done) return;
    done = true;
    loadSystemLibrary(L"davhlpr.dll");
    loadSystemLibrary(L"fwbase.dll");
}

void initCommonControls()
{
    HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
    if (comctl == nullptr) comctl = ::LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (comctl == nullptr) return;
    auto init = BOUND_FUNCTION(comctl, InitCommonControls);
    if (init != nullptr) init();
}

void startCommonControls()
{
    if (::GetModuleHandleW(L"comctl32.dll") != nullptr) return;
    commonControlsThread().reset(::CreateThread(nullptr, 0, initCommonControlsThread, nullptr, 0, nullptr));
    if (!commonControlsThread()) initCommonControls();
}

void awaitCommonControls()
{
    if (commonControlsThread()) ::WaitForSingleObject(commonControlsThread().get(), INFINITE);
}

bool attachConsole()
{
    auto attach = KERNEL_FUNCTION(AttachConsole);
    if (attach != nullptr) {
        if (attach(ATTACH_PARENT_PROCESS) || ::GetLastError() == ERROR_ACCESS_DENIED) return true;
    }
    return ::AllocConsole() != FALSE;
}

void* addDllDirectory(const std::string& directory)
{
    const UINT codePage = ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    std::wstring wide = narrowToWide(directory, codePage);
    if (wide.empty() && !directory.empty()) return nullptr;
    logInfo(L"Adding DLL directory %s", wide.c_str());
    return systemAddDllDirectory(wide.c_str());
}

void removeDllDirectory(void* cookie)
{
    if (cookie == nullptr) return;
    logInfo(L"Removing DLL directory");
    systemRemoveDllDirectory(cookie);
}

void addNativeLibraryDirectories()
{
    constexpr size_t kPathTextLimit = 48000;
    char configured[6000];
    configString(keys::kNativeLibraryDirectories, configured, sizeof configured);
    logInfo(L"native lib dir is %S", configured);
    const std::string expanded = expandVariablesNarrow(configured);

    std::wstring path;
    size_t start = 0;
    while (start < expanded.size()) {
        size_t end = expanded.find(';', start);
        if (end == std::string::npos) end = expanded.size();
        if (end > start) {
            std::string resolved = resolvePathNarrow(expanded.substr(start, end - start));
            addDllDirectory(resolved);
            if (!path.empty()) path += L';';
            path += narrowToWide(resolved);
        }
        start = end + 1;
    }
    if (!path.empty() && path.back() != L';') path += L';';
    // PATH is kept wide: a narrow round trip would turn its other entries' characters outside the
    // code page into "?".
    DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size > 0) {
        std::wstring old(size, L'\0');
        size = ::GetEnvironmentVariableW(L"PATH", old.data(), size);
        if (size < old.size()) path += old.substr(0, size);
    }
    if (path.size() > kPathTextLimit) path.resize(kPathTextLimit);
    if (::SetEnvironmentVariableW(L"PATH", path.c_str()))
        logInfo(L"Setting PATH (native libs) %s", path.c_str());
    else
        logInfo(L"Setting PATH (native libs) %s failed with error %d", path.c_str(), static_cast<int>(::GetLastError()));
    ::_wputenv_s(L"PATH", path.c_str());
}

void clearJavaOptionVariables()
{
    static const wchar_t* const kNames[] = {L"_JAVA_OPTIONS", L"JDK_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS"};
    for (const wchar_t* name : kNames) {
        ::SetEnvironmentVariableW(name, nullptr);
        ::_wputenv_s(name, L"");
    }
    // A runtime built on the universal C runtime keeps its own copy of the environment.
    HMODULE ucrt = ::GetModuleHandleW(L"ucrtbase.dll");
    using PutenvFunction = int(__cdecl*)(const char*, const char*);
    auto putenv = boundFunction<PutenvFunction>(ucrt, "_putenv_s");
    if (putenv == nullptr) return;
    logInfo(L"using _putenv_s in ucrtbase.dll %p %p", ucrt, reinterpret_cast<void*>(putenv));
    for (const char* name : {"_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS"}) putenv(name, "");
}

void reducePath()
{
    if (!configFlag(keys::kReducePath)) return;
    DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size <= 1) return;
    std::wstring path(size, L'\0');
    size = ::GetEnvironmentVariableW(L"PATH", path.data(), size);
    path.resize(size);
    wchar_t windowsDirectory[MAX_PATH + 1];
    UINT windowsLength = ::GetWindowsDirectoryW(windowsDirectory, MAX_PATH + 1);
    if (windowsLength == 0 || windowsLength > MAX_PATH || path.empty()) return;
    logInfo(L"reducing PATH %d %d %s", static_cast<int>(windowsLength), static_cast<int>(path.size() + 1), path.c_str());

    std::wstring reduced;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring entry = path.substr(start, end - start);
        if (!entry.empty() && entry.size() >= windowsLength &&
            ::_wcsnicmp(entry.c_str(), windowsDirectory, windowsLength) == 0) {
            if (!reduced.empty()) reduced += L';';
            reduced += entry;
        }
        start = end + 1;
    }
    logInfo(L"reduced PATH %d to %s", static_cast<int>(reduced.size()), reduced.c_str());
    if (reduced.empty()) return;
    if (!::SetEnvironmentVariableW(L"PATH", reduced.c_str())) logInfo(L"ERROR setting path");
    ::_wputenv_s(L"PATH", reduced.c_str());
}
