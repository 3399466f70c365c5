/* A service for the tests of the service natives, run by the service control manager.
 *
 *   test_service.exe [--record <file>] [--stuck | --slow | --abrupt]
 *     Reports RUNNING and stops on SERVICE_CONTROL_STOP. --record writes the service's start
 *     arguments (argv of the service main, the service name first) to the file, one per line,
 *     UTF-16. --stuck answers a stop with STOP_PENDING and never stops (no progress, no wait
 *     hint); it ends on its own 60 s after it started, so a broken test leaves nothing running.
 *     --slow takes about 1.5 s to stop, advancing its check point every 300 ms (no wait hint).
 *     --abrupt reports STOPPED and ends inside its stop handler, before the handler's answer can
 *     reach the manager: what a service that ends the moment it has stopped can always do.
 *   test_service.exe --touch <file>
 *     Not a service: creates the file and ends (a program to start elevated).
 */
#include <windows.h>

#include <wchar.h>

static SERVICE_STATUS_HANDLE statusHandle;
static SERVICE_STATUS status;
static HANDLE stopEvent;
static BOOL stuck;
static BOOL slow;
static BOOL abrupt;
static const wchar_t* recordPath;

static void report(DWORD state, DWORD checkPoint)
{
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = 0;
    SetServiceStatus(statusHandle, &status);
}

static DWORD WINAPI handler(DWORD control, DWORD type, void* data, void* context)
{
    (void)type;
    (void)data;
    (void)context;
    if (control == SERVICE_CONTROL_STOP) {
        if (stuck) {
            report(SERVICE_STOP_PENDING, 0);
        } else if (slow) {
            report(SERVICE_STOP_PENDING, 1);
            SetEvent(stopEvent);
        } else {
            report(SERVICE_STOPPED, 0);
            if (abrupt) ExitProcess(0);
            SetEvent(stopEvent);
        }
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
    return ERROR_CALL_NOT_IMPLEMENTED;
}

static void record(DWORD argc, wchar_t** argv)
{
    HANDLE file;
    DWORD i, written;
    if (recordPath == NULL) return;
    file = CreateFileW(recordPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    for (i = 0; i < argc; ++i) {
        WriteFile(file, argv[i], (DWORD)(wcslen(argv[i]) * sizeof(wchar_t)), &written, NULL);
        WriteFile(file, L"\n", sizeof(wchar_t), &written, NULL);
    }
    CloseHandle(file);
}

static void WINAPI serviceMain(DWORD argc, wchar_t** argv)
{
    statusHandle = RegisterServiceCtrlHandlerExW(L"", handler, NULL);
    if (statusHandle == NULL) return;
    record(argc, argv);
    report(SERVICE_RUNNING, 0);
    /* The stuck variant never sees the event: it ends when its time is up. */
    WaitForSingleObject(stopEvent, stuck ? 60000 : INFINITE);
    if (slow) {
        DWORD checkPoint;
        for (checkPoint = 2; checkPoint <= 6; ++checkPoint) {
            Sleep(300);
            report(SERVICE_STOP_PENDING, checkPoint);
        }
    }
    if (stuck || slow) report(SERVICE_STOPPED, 0);
}

int wmain(int argc, wchar_t** argv)
{
    SERVICE_TABLE_ENTRYW table[] = {{(wchar_t*)L"", serviceMain}, {NULL, NULL}};
    int i;
    for (i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--touch") == 0 && i + 1 < argc) {
            HANDLE file = CreateFileW(argv[i + 1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (file == INVALID_HANDLE_VALUE) return 1;
            CloseHandle(file);
            return 0;
        }
        if (wcscmp(argv[i], L"--record") == 0 && i + 1 < argc) recordPath = argv[++i];
        else if (wcscmp(argv[i], L"--stuck") == 0) stuck = TRUE;
        else if (wcscmp(argv[i], L"--slow") == 0) slow = TRUE;
        else if (wcscmp(argv[i], L"--abrupt") == 0) abrupt = TRUE;
    }
    stopEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    return StartServiceCtrlDispatcherW(table) ? 0 : 2;
}
