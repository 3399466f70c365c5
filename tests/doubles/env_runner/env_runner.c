/* env_runner.exe [NAME=VALUE | NAME=]... -- PROGRAM [ARGUMENT]...
 *
 * Sets (or with an empty value removes) each variable, starts PROGRAM with the ARGUMENTs (each
 * quoted), waits for it and exits with its exit code; standard handles are inherited. Exit 120
 * when the program cannot be started. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static void appendQuoted(wchar_t* line, size_t capacity, const wchar_t* argument)
{
    size_t length = wcslen(line);
    size_t backslashes = 0;
    if (length + 1 < capacity) line[length++] = L'"';
    for (const wchar_t* c = argument; *c && length + 4 < capacity; ++c) {
        if (*c == L'\\') {
            ++backslashes;
        } else {
            if (*c == L'"') {
                for (size_t i = 0; i <= backslashes && length + 2 < capacity; ++i) line[length++] = L'\\';
            }
            backslashes = 0;
        }
        line[length++] = *c;
    }
    for (size_t i = 0; i < backslashes && length + 3 < capacity; ++i) line[length++] = L'\\';
    if (length + 2 < capacity) line[length++] = L'"';
    line[length++] = L' ';
    line[length] = 0;
}

int wmain(int argc, wchar_t** argv)
{
    int i = 1;
    for (; i < argc && wcscmp(argv[i], L"--") != 0; ++i) {
        wchar_t* equals = wcschr(argv[i], L'=');
        if (equals == NULL) continue;
        *equals = 0;
        SetEnvironmentVariableW(argv[i], equals[1] ? equals + 1 : NULL);
    }
    if (i + 1 >= argc) return 121;
    static wchar_t line[32768];
    line[0] = 0;
    for (int j = i + 1; j < argc; ++j) appendQuoted(line, sizeof line / sizeof line[0], argv[j]);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        fwprintf(stderr, L"cannot start %ls (%lu)\n", argv[i + 1], GetLastError());
        return 120;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}
