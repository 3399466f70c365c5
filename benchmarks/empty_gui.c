/* empty_gui.exe, the start-up floor of benchmarks/start_to_main.sh, which builds it: a GUI program
 * built like the launcher (subsystem, manifest, the imports every launcher has). It writes "started"
 * on standard output and exits with 0. Arguments add the start-up work every run of the launcher
 * must do, so that the benchmark can price it in the same run:
 *   controls    loads comctl32 from the system directory and calls InitCommonControls
 *   lines:N     appends N lines to a file in %TEMP%, opening and closing it for each line as the
 *               log does, then deletes it
 * Any other argument first makes one call into each DLL the launcher imports at its start (never
 * done by the benchmark), so those DLLs stay in its import table and load with it. */
#include <windows.h>
#include <wchar.h>

#include "launcher_imports.h"

static void appendLines(int count)
{
    wchar_t path[MAX_PATH + 32];
    DWORD length = GetTempPathW(MAX_PATH, path);
    if (length == 0 || length > MAX_PATH) return;
    wsprintfW(path + length, L"empty_gui_%lu.log", GetCurrentProcessId());
    static const char line[] = "[0:12] a log line of the launcher's usual length, with a path in it\n";
    for (int i = 0; i < count; ++i) {
        HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  i == 0 ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file, line, sizeof line - 1, &written, NULL);
        CloseHandle(file);
    }
    DeleteFileW(path);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    const wchar_t* lines = arguments != NULL ? wcsstr(arguments, L"lines:") : NULL;
    const BOOL controls = arguments != NULL && wcsstr(arguments, L"controls") != NULL;
    if (controls) {
        HMODULE comctl = LoadLibraryExW(L"comctl32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
        FARPROC init = comctl != NULL ? GetProcAddress(comctl, "InitCommonControls") : NULL;
        if (init != NULL) ((void(WINAPI*)(void))init)();
    }
    if (lines != NULL) appendLines(_wtoi(lines + 6));
    if (!controls && lines == NULL && arguments != NULL && arguments[0] != L'\0') callLauncherImports();
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "started\n", 8, &written, NULL);
    return 0;
}
