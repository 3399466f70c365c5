/* xor_copy.exe SOURCE OFFSET LENGTH TARGET [BLOCK [delete]]
 *
 * Reads LENGTH bytes of SOURCE from OFFSET, XORs each with 0xA7 and writes them to TARGET, in
 * blocks of BLOCK bytes (default 1 MiB): the least work an extraction of the same bytes can do.
 * TARGET "-" only reads: the least work any pass over the bytes can do, such as a check.
 * Prints the milliseconds from opening the files to closing them. With "delete" it then deletes
 * TARGET, as the launcher deletes what it extracted before it ends, and prints those milliseconds
 * after the first figure. Exit code 0, or 1 on any failure. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) return 1;
    LARGE_INTEGER offset;
    offset.QuadPart = _wtoi64(argv[2]);
    long long left = _wtoi64(argv[3]);
    size_t block = argc > 5 ? (size_t)_wtoi(argv[5]) : (size_t)1 << 20;
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    HANDLE in = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    int readOnly = wcscmp(argv[4], L"-") == 0;
    HANDLE out = readOnly ? NULL : CreateFileW(argv[4], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    unsigned char* buffer = malloc(block);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || !buffer) return 1;
    if (!SetFilePointerEx(in, offset, NULL, FILE_BEGIN)) return 1;
    while (left > 0) {
        DWORD want = (DWORD)(left < (long long)block ? left : (long long)block);
        DWORD got = 0;
        if (!ReadFile(in, buffer, want, &got, NULL) || got == 0) return 1;
        for (DWORD i = 0; i < got; ++i) buffer[i] ^= 0xA7;
        DWORD written = 0;
        if (!readOnly && (!WriteFile(out, buffer, got, &written, NULL) || written != got)) return 1;
        left -= got;
    }
    if (!readOnly) CloseHandle(out);
    CloseHandle(in);
    QueryPerformanceCounter(&end);
    printf("%.3f", (double)(end.QuadPart - begin.QuadPart) * 1000.0 / (double)frequency.QuadPart);
    if (!readOnly && argc > 6 && wcscmp(argv[6], L"delete") == 0) {
        QueryPerformanceCounter(&begin);
        if (!DeleteFileW(argv[4])) return 1;
        QueryPerformanceCounter(&end);
        printf(" %.3f", (double)(end.QuadPart - begin.QuadPart) * 1000.0 / (double)frequency.QuadPart);
    }
    printf("\n");
    return 0;
}
