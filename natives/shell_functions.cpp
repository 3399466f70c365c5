#include "natives/shell_functions.h"

#include "windows/base/system_functions.h"

namespace {

using ChangeNotifyFunction = void(WINAPI*)(LONG, UINT, LPCVOID, LPCVOID);
using ExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

// Filled without a lock: two first calls at once store the same values.
ChangeNotifyFunction changeNotify = nullptr;
ExecuteFunction execute = nullptr;
bool preloaded = false;

}  // namespace

bool loadShellFunctions()
{
    if (changeNotify != nullptr && execute != nullptr) return true;
    if (!preloaded) {
        // Loaded ahead of shell32 as at start-up, so shell32 does not pull them from elsewhere.
        preloaded = true;
        loadSystemLibrary(L"davhlpr.dll");
        loadSystemLibrary(L"fwbase.dll");
    }
    HMODULE shell = loadSystemLibrary(L"shell32.dll");  // by its full system path, like the other natives
    if (shell == nullptr) return false;
    changeNotify = boundFunction<ChangeNotifyFunction>(shell, "SHChangeNotify");
    execute = boundFunction<ExecuteFunction>(shell, "ShellExecuteW");
    return changeNotify != nullptr && execute != nullptr;
}

void shellChangeNotify(LONG eventId, UINT flags, const void* item1, const void* item2)
{
    if (loadShellFunctions()) changeNotify(eventId, flags, item1, item2);
}

HINSTANCE shellExecute(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                       const wchar_t* directory, int show)
{
    if (!loadShellFunctions()) return nullptr;
    return execute(window, verb, file, parameters, directory, show);
}
