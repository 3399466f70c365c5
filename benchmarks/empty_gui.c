/* empty_gui.exe, the start-up floor of benchmarks/start_to_main.sh, which builds it: a GUI program
 * built like the launcher (subsystem, manifest, the imports every launcher has). It writes "started"
 * on standard output and exits with 0. With any argument it first makes one call into each DLL the
 * launcher imports at its start (never done by the benchmark), so those DLLs stay in its import
 * table and load with it. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    if (arguments != NULL && arguments[0] != L'\0') {
        HKEY key = NULL;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS) RegCloseKey(key);
        DeleteObject(CreateSolidBrush(0));
        MessageBoxW(NULL, arguments, L"empty", MB_OK);
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "started\n", 8, &written, NULL);
    return 0;
}
