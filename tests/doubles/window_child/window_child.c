/* window_child.exe MODE EVENT [TITLE]
 *
 * Creates the windows MODE asks for, sets the named event EVENT once they exist, and pumps
 * messages until its windows are closed or 60 seconds have passed (so a failed test leaves no
 * process behind). MODE:
 *   titled    one visible top-level window with TITLE; WM_CLOSE closes it and ends the program
 *   stubborn  as titled, but WM_CLOSE is ignored
 *   untitled  one visible top-level window without a title
 *   hidden    one hidden top-level window with TITLE and no visible one
 *   none      no window at all
 *   ready     no window; ends right after setting the event
 * A window that receives WM_SETTINGCHANGE for "Environment" takes the title "environment changed".
 * Exit code 0 after a close, 1 after the 60 seconds, 2 on bad arguments, 3 when a window could not
 * be created (Wine without a display), with the error code on standard error. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static BOOL stubborn;

static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && stubborn) return 0;
    if (message == WM_SETTINGCHANGE && lParam != 0 && wcscmp((const wchar_t*)lParam, L"Environment") == 0) {
        SetWindowTextW(window, L"environment changed");
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return 2;
    const wchar_t* mode = argv[1];
    const wchar_t* title = argc > 3 ? argv[3] : L"window child";
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (ready == NULL) return 2;

    if (wcscmp(mode, L"ready") == 0) {
        SetEvent(ready);
        return 0;
    }
    if (wcscmp(mode, L"none") != 0) {
        WNDCLASSW type = {0};
        type.lpfnWndProc = windowProcedure;
        type.hInstance = GetModuleHandleW(NULL);
        type.lpszClassName = L"window_child";
        RegisterClassW(&type);
        BOOL visible = wcscmp(mode, L"hidden") != 0;
        stubborn = wcscmp(mode, L"stubborn") == 0;
        const wchar_t* text = wcscmp(mode, L"untitled") == 0 ? L"" : title;
        HWND window = CreateWindowExW(0, L"window_child", text, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 10,
                                      10, 200, 100, NULL, NULL, type.hInstance, NULL);
        if (window == NULL) {
            fwprintf(stderr, L"CreateWindowExW failed %lu\n", GetLastError());
            return 3;
        }
    }
    SetEvent(ready);
    CloseHandle(ready);

    const DWORD end = GetTickCount() + 60000;
    for (;;) {
        DWORD left = end - GetTickCount();
        if ((LONG)left <= 0) return 1;
        if (MsgWaitForMultipleObjects(0, NULL, FALSE, left, QS_ALLINPUT) == WAIT_TIMEOUT) return 1;
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return 0;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}
