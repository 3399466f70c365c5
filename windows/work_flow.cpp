#include "windows/work_flow.h"

#include <windows.h>

#include "resources/resource_ids.h"
#include "windows/extraction.h"
#include "windows/jvm_launch.h"
#include "windows/jvm_search.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"

void registerDialogClass()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;  // 0x2808
    windowClass.lpfnWndProc = ::DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = launcherState().instance;
    windowClass.hIcon = ::LoadIconW(launcherState().instance, MAKEINTRESOURCEW(IDI_LAUNCHER));
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"MyDialogClass";
    ::RegisterClassExW(&windowClass);
}

// Interim work flow, quiet and in order, until the installer work flow with its progress dialog,
// integrity check and runtime download replaces it.
void dispatchWorkFlow()
{
    runExtractionStep(nullptr);  // [extraction] the payload into this run's extraction directory
    if (!LoadDLL(true, nullptr, false)) {
        // A quiet start without download ends with the code that tells a script no runtime was found.
        // [runtime download] until the download and locate step exists, every start ends this way.
        logError(L"No JRE found");
        HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
        const char text[] = "No JRE found. Aborting.\n";
        DWORD written = 0;
        if (output != nullptr && output != INVALID_HANDLE_VALUE)
            ::WriteFile(output, text, sizeof text - 1, &written, nullptr);
        terminate(83);
    }
    runLaunchStep();  // [launch] VM options, JVM creation and main
}
