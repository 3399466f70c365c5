/* A stand-in for a runtime's java.exe (also copied as javaw.exe). What it prints on standard
 * error, its exit code and a delay come from "java_stub.cfg" beside the executable; every start
 * appends one line to "java_stub.calls" beside it. Both formats: see README.md. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Wide, so that a runtime in a folder the ANSI code page cannot show finds its files. */
static void besideExecutable(wchar_t* path, size_t capacity, const wchar_t* name)
{
    DWORD length = GetModuleFileNameW(NULL, path, (DWORD)capacity);
    if (length == 0 || length >= capacity) {
        path[0] = L'\0';
        return;
    }
    wchar_t* slash = wcsrchr(path, L'\\');
    size_t keep = slash ? (size_t)(slash - path + 1) : 0;
    if (keep + wcslen(name) + 1 > capacity) {
        path[0] = L'\0';
        return;
    }
    wcscpy(path + keep, name);
}

static void recordCall(void)
{
    wchar_t path[MAX_PATH * 2];
    besideExecutable(path, sizeof path / sizeof path[0], L"java_stub.calls");
    FILE* calls = path[0] ? _wfopen(path, L"ab") : NULL;
    if (calls == NULL) return;
    fputs(GetCommandLineA(), calls);
    static const char* const variables[] = {"_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS"};
    for (size_t i = 0; i < sizeof variables / sizeof variables[0]; ++i) {
        const char* value = getenv(variables[i]);
        fprintf(calls, "|%s=%s", variables[i], value ? value : "<unset>");
    }
    fputs("\n", calls);
    fclose(calls);
}

int main(void)
{
    recordCall();
    wchar_t path[MAX_PATH * 2];
    besideExecutable(path, sizeof path / sizeof path[0], L"java_stub.cfg");
    FILE* config = path[0] ? _wfopen(path, L"rb") : NULL;
    if (config == NULL) {
        fputs("java_stub: no java_stub.cfg\n", stderr);
        return 2;
    }
    int exitCode = 0;
    unsigned long delay = 0;
    char line[4096];
    while (fgets(line, sizeof line, config) != NULL) {
        size_t length = strlen(line);
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = '\0';
        if (strncmp(line, "exit=", 5) == 0) {
            exitCode = atoi(line + 5);
        } else if (strncmp(line, "delay=", 6) == 0) {
            delay = strtoul(line + 6, NULL, 10);
        } else if (strncmp(line, "err=", 4) == 0) {
            fputs(line + 4, stderr);
            fputs("\n", stderr);
        } else if (strncmp(line, "raw=", 4) == 0) {
            fputs(line + 4, stderr);  /* no line end */
        }
    }
    fclose(config);
    fflush(stderr);
    if (delay > 0) Sleep(delay);
    return exitCode;
}
