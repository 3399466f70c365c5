/* dialog_cancel.exe <delay ms> [<wait ms>]
 *
 * Waits up to <wait ms> (default 30000) for a visible window of class "MyDialogClass" (the
 * launcher's progress dialog), sleeps <delay ms>, then posts WM_COMMAND IDCANCEL to it, which is
 * what a click on its Cancel button sends. Prints "cancel posted" and exits 0, or prints
 * "no dialog" and exits 1 when none showed in time. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv)
{
    DWORD delay = argc > 1 ? (DWORD)_wtoi(argv[1]) : 0;
    DWORD wait = argc > 2 ? (DWORD)_wtoi(argv[2]) : 30000;
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
    Sleep(delay);
    if (!PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0)) {
        printf("post failed %lu\n", GetLastError());
        return 1;
    }
    puts("cancel posted");
    return 0;
}
