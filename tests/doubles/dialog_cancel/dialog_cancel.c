/* dialog_cancel.exe <delay ms> [<trigger file>]
 *
 * Waits up to 30 s for a visible window of class "MyDialogClass" (the launcher's progress dialog)
 * and, when a trigger file is named, up to 60 s more until that file exists; then sleeps <delay ms>
 * and posts WM_COMMAND IDCANCEL to the dialog, which is what a click on its Cancel button sends. Prints "cancel posted" and exits 0, or prints
 * "no dialog" and exits 1 when none showed in time. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv)
{
    DWORD delay = argc > 1 ? (DWORD)_wtoi(argv[1]) : 0;
    const wchar_t* trigger = argc > 2 ? argv[2] : NULL;
    DWORD wait = 30000;
    DWORD start = GetTickCount();
    HWND dialog = NULL;
    while (GetTickCount() - start < wait) {
        dialog = FindWindowW(L"MyDialogClass", NULL);
        if (dialog != NULL && IsWindowVisible(dialog)) break;
        dialog = NULL;
        Sleep(5);
    }
    if (dialog == NULL) {
        puts("no dialog");
        return 1;
    }
    start = GetTickCount();
    while (trigger != NULL && GetFileAttributesW(trigger) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > 60000) {
            puts("no trigger");
            return 1;
        }
        Sleep(1);
    }
    Sleep(delay);
    if (!PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0)) {
        printf("post failed %lu\n", GetLastError());
        return 1;
    }
    puts("cancel posted");
    return 0;
}
