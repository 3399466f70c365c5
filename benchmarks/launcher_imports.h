/* For the benchmarks' floor programs: one call into each DLL the launcher imports at its start,
 * made only when called, so that the DLLs stay in the program's import table and load with it. */
#pragma once
#include <windows.h>

static void callLauncherImports(void)
{
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS) RegCloseKey(key);
    DeleteObject(CreateSolidBrush(0));
    MessageBoxW(NULL, L"", L"", MB_OK);
}
