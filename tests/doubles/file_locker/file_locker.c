/* file_locker.exe MILLISECONDS [-s SEMAPHORE] [-r REPORT] [-w WATCHED]... [-e EXISTING]... [FILE]...
 *
 * Opens every FILE without sharing (creating it when missing), every EXISTING only if it exists and
 * for writing, as a writer to a mailslot or pipe opens it, and, with -s, creates the named
 * semaphore; prints "locked" on standard output once everything is held, sleeps, then lets go.
 * With -r, just before letting go it writes to REPORT one line per WATCHED path: "present" or
 * "absent" (what a clean-up run waiting for the semaphore must not yet have touched). Exit code
 * 0, or 2 when a file could not be opened. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return 3;
    DWORD milliseconds = (DWORD)_wtoi(argv[1]);
    const wchar_t* semaphoreName = NULL;
    const wchar_t* report = NULL;
    HANDLE files[64];
    const wchar_t* watched[64];
    int count = 0;
    int watchedCount = 0;
    for (int i = 2; i < argc; ++i) {
        if (wcscmp(argv[i], L"-s") == 0 && i + 1 < argc) {
            semaphoreName = argv[++i];
        } else if (wcscmp(argv[i], L"-r") == 0 && i + 1 < argc) {
            report = argv[++i];
        } else if (wcscmp(argv[i], L"-w") == 0 && i + 1 < argc) {
            if (watchedCount < 64) watched[watchedCount++] = argv[i + 1];
            ++i;
        } else if (count < 64) {
            int existing = wcscmp(argv[i], L"-e") == 0 && i + 1 < argc;
            if (existing) ++i;
            HANDLE file = existing ? CreateFileW(argv[i], GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, NULL)
                                   : CreateFileW(argv[i], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, NULL);
            if (file == INVALID_HANDLE_VALUE) {
                fwprintf(stderr, L"cannot open %ls (%lu)\n", argv[i], GetLastError());
                return 2;
            }
            files[count++] = file;
        }
    }
    HANDLE semaphore = semaphoreName ? CreateSemaphoreW(NULL, 1, 1, semaphoreName) : NULL;
    printf("locked\n");
    fflush(stdout);
    Sleep(milliseconds);
    if (report) {
        FILE* out = _wfopen(report, L"w");
        for (int i = 0; out && i < watchedCount; ++i)
            fprintf(out, "%s\n", GetFileAttributesW(watched[i]) != INVALID_FILE_ATTRIBUTES ? "present" : "absent");
        if (out) fclose(out);
    }
    for (int i = 0; i < count; ++i) CloseHandle(files[i]);
    if (semaphore) CloseHandle(semaphore);
    return 0;
}
