/* unpack200.exe double: see README.md for the rule and the exit codes. */
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

static const char kMarker[] = "PACK200-DOUBLE\n";

static void logCommandLine(void)
{
    wchar_t logPath[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"UNPACK200_DOUBLE_LOG", logPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const wchar_t* line = GetCommandLineW();
    char utf8[8192];
    int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8 - 1, NULL, NULL);
    if (size <= 0) return;
    FILE* out = _wfopen(logPath, L"ab");
    if (out == NULL) return;
    fputs(utf8, out);
    fputc('\n', out);
    fclose(out);
}

int wmain(void)
{
    logCommandLine();
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == NULL) return 2;
    int first = (count > 0 && wcscmp(arguments[0], L"-r") != 0) ? 1 : 0;
    if (count - first != 3 || wcscmp(arguments[first], L"-r") != 0) return 2;
    const wchar_t* packPath = arguments[first + 1];
    const wchar_t* jarPath = arguments[first + 2];

    FILE* in = _wfopen(packPath, L"rb");
    if (in == NULL) return 3;
    char marker[sizeof kMarker - 1];
    if (fread(marker, 1, sizeof marker, in) != sizeof marker || memcmp(marker, kMarker, sizeof marker) != 0) {
        fclose(in);
        return 3;
    }
    FILE* out = _wfopen(jarPath, L"wb");
    if (out == NULL) {
        fclose(in);
        return 4;
    }
    char buffer[65536];
    size_t got;
    int result = 0;
    while ((got = fread(buffer, 1, sizeof buffer, in)) > 0) {
        if (fwrite(buffer, 1, got, out) != got) {
            result = 4;
            break;
        }
    }
    fclose(in);
    if (fclose(out) != 0) result = 4;
    if (result == 0) DeleteFileW(packPath);
    return result;
}
