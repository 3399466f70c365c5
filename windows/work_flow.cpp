#include "windows/work_flow.h"

#include <windows.h>

#include "resources/resource_ids.h"
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

// The seam where the installer work flow (integrity check, extraction, runtime choice, progress
// dialog, JVM launch) takes over; until it exists, start-up ends after "Init done".
void dispatchWorkFlow() {}
