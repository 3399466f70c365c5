#include "natives/shell_functions.h"

#include <shellapi.h>
#include <shlobj.h>

#include "windows/base/system_functions.h"

namespace {

struct ShellFunctions {
    decltype(&::SHChangeNotify) changeNotify = nullptr;
    decltype(&::ShellExecuteW) execute = nullptr;
};

const ShellFunctions* shellFunctions()
{
    static const BoundGroup<ShellFunctions> bound = [] {
        // Loaded ahead of shell32 as at start-up, so shell32 does not pull them from elsewhere.
        loadSystemLibrary(L"davhlpr.dll");
        loadSystemLibrary(L"fwbase.dll");
        // By its full system path, like the other natives.
        return bindGroup<ShellFunctions>(loadSystemLibrary(L"shell32.dll"), [](GroupBinder& bind, ShellFunctions& f) {
            bind(f.changeNotify, "SHChangeNotify")(f.execute, "ShellExecuteW");
        });
    }();
    return bound.get();
}

}  // namespace

bool loadShellFunctions() { return shellFunctions() != nullptr; }

void shellChangeNotify(LONG eventId, UINT flags, const void* item1, const void* item2)
{
    if (const ShellFunctions* shell = shellFunctions()) shell->changeNotify(eventId, flags, item1, item2);
}

HINSTANCE shellExecute(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                       const wchar_t* directory, int show)
{
    const ShellFunctions* shell = shellFunctions();
    if (shell == nullptr) return nullptr;
    return shell->execute(window, verb, file, parameters, directory, show);
}
