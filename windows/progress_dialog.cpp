#include "windows/progress_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>

#include "core/config_keys.h"
#include "resources/resource_ids.h"
#include "windows/base/handles.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/install_flags.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/single_instance.h"

namespace {

// Posted by the worker thread when its work is done: the dialog ends with wParam.
constexpr UINT kWorkerDone = WM_APP + 1;
constexpr int kWatcherTimeoutTick = 2399;
constexpr int kWatcherCeiling = 390;

std::atomic<DWORD> untarDuration{0};
std::atomic<bool> cancelRequested{false};
std::atomic<DWORD> workerThreadId{0};
bool workerStillRunning = false;

// The running progress dialog's worker thread, waited for after a Cancel.
unique_handle& workerThread()
{
    static unique_handle* thread = new unique_handle();
    return *thread;
}
std::atomic<bool> unpackFinished{false};

// What the progress dialog's worker thread runs, and for which dialog.
struct WorkerStart {
    DialogWork work;
    HWND dialog;
};

DWORD WINAPI progressWorker(LPVOID parameter)
{
    const WorkerStart start = *static_cast<WorkerStart*>(parameter);
    delete static_cast<WorkerStart*>(parameter);
    try {
        start.work(start.dialog);
    } catch (const WorkCanceled&) {
        logInfo(L"work stopped after cancel");
        return 0;
    }
    ::PostMessageW(start.dialog, kWorkerDone, 0, 0);
    return 0;
}

void setItemText(HWND window, int id, const std::wstring& text)
{
    if (window != nullptr) ::SetDlgItemTextW(window, id, text.c_str());
}

void initProgressDialog(HWND dialog, DialogWork work)
{
    centreWindow(dialog);
    setErrorOwnerWindow(dialog);
    setProgressRange(dialog, 0, 100);
    setMainText(dialog, messageText(messages::kPreparingWizard));
    ::SetWindowTextW(dialog, messageText(messages::kWizardTitle).c_str());
    setCancelLabel(dialog, messageText(messages::kCancelButton));
    auto* start = new WorkerStart{work, dialog};
    DWORD threadId = 0;
    unique_handle& worker = workerThread();
    worker.reset(::CreateThread(nullptr, 0, progressWorker, start, CREATE_SUSPENDED, &threadId));
    if (worker) {
        workerThreadId.store(threadId);
        ::ResumeThread(worker.get());
    } else {
        logError(L"could not start the work flow thread %d", static_cast<int>(::GetLastError()));
        delete start;
        ::EndDialog(dialog, -1);
    }
}

void initRuntimeChoiceDialog(HWND dialog)
{
    const std::string minimum = configStringDup(keys::kMinJavaVersion);
    const std::string maximum = configStringDup(keys::kMaxJavaVersion);
    centreWindow(dialog);
    ::SetWindowTextW(dialog, messageText(messages::kWizardTitle).c_str());
    setItemText(dialog, IDCANCEL, messageText(messages::kCancelButton));
    setItemText(dialog, IDC_LOCATE, messageText(messages::kLocateButton));
    setItemText(dialog, IDC_DOWNLOAD, messageText(messages::kDownloadButton));
    const bool downloadOffered = !configStringDup(keys::kDownloadUrl).empty();
    if (!downloadOffered) {
        // Hidden and disabled, and Enter means Locate: an Enter on a hidden default button would
        // otherwise start a download from no address.
        HWND download = ::GetDlgItem(dialog, IDC_DOWNLOAD);
        ::ShowWindow(download, SW_HIDE);
        ::EnableWindow(download, FALSE);
        ::SendMessageW(dialog, DM_SETDEFID, IDC_LOCATE, 0);
        ::SendMessageW(download, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
    }
    const int key = downloadOffered ? messages::kLocateOrDownload : messages::kLocateOnly;
    setMainText(dialog, runtimeChoiceText(messageText(key), launcherBitness(), minimum, maximum,
                                          messageText(messages::kMinimumVersion),
                                          messageText(messages::kMaximumVersion)));
}

DWORD WINAPI watchForJavaWindow(LPVOID parameter)
{
    auto* arguments = static_cast<std::pair<HWND, int>*>(parameter);
    HWND window = arguments->first;
    const int waitStart = arguments->second;
    delete arguments;

    const LauncherState& state = launcherState();
    // A wrapper's progress window belongs to the wrapper's process: only the Java window counts.
    const int wanted = state.msiWrapper ? 1 : 2;
    const DWORD self = ::GetCurrentProcessId();
    for (int tick = 0; countVisibleWindows(self) < wanted; ++tick) {
        if (readInstallStarted(true) == 2) break;
        if (tick > 0 && tick % 5 == 0) setProgressPosition(window, watcherPosition(waitStart, tick));
        if (tick == kWatcherTimeoutTick && readInstallStarted(true) == 1 &&
            !configFlag(keys::kInterruptedStartCheck)) {
            logError(L"timeout");
            fatalMessage(messages::kVmNotStartedRestart, nullptr);
        }
        ::Sleep(100);
    }
    clearInstallStarted(true, false);
    logInfo(L"Java window visible");
    ::ShowWindow(window, SW_HIDE);
    return 0;
}

DWORD WINAPI animateUnpack(LPVOID parameter)
{
    HWND window = static_cast<HWND>(parameter);
    for (int position = 200; position < 300 && !unpackFinished.load();) {
        ::Sleep(untarDuration.load() / 10);
        position += 10;
        setProgressPosition(window, position);
    }
    return 0;
}

bool startThreadAboveNormal(LPTHREAD_START_ROUTINE routine, void* parameter, const wchar_t* what)
{
    unique_handle thread(::CreateThread(nullptr, 0, routine, parameter, CREATE_SUSPENDED, nullptr));
    if (!thread) {
        logError(L"could not start the %s thread %d", what, static_cast<int>(::GetLastError()));
        return false;
    }
    ::SetThreadPriority(thread.get(), THREAD_PRIORITY_ABOVE_NORMAL);
    ::ResumeThread(thread.get());
    return true;
}

}  // namespace

void registerDialogClass()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;  // 0x2808
    windowClass.lpfnWndProc = ::DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = launcherState().instance;
    windowClass.hIcon = ::LoadIconW(launcherState().instance, MAKEINTRESOURCEW(IDI_LAUNCHER));
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"MyDialogClass";
    ::RegisterClassW(&windowClass);
}

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        initProgressDialog(dialog, reinterpret_cast<DialogWork>(lParam));
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL) return FALSE;
        logInfo(L"Canceled installer");
        cancelRequested.store(true);
        clearInstallStarted(true, true);
        ::EndDialog(dialog, id);
        return TRUE;
    }
    case kWorkerDone:
        ::EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK runtimeChoiceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // The locate action stays with the dialog for its Locate button.
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        initRuntimeChoiceDialog(dialog);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDC_LOCATE) {
            auto locate = reinterpret_cast<LocateAction>(::GetWindowLongPtrW(dialog, DWLP_USER));
            if (locate != nullptr && locate(dialog)) ::EndDialog(dialog, IDC_LOCATE);
        } else if (id == IDCANCEL) {
            clearInstallStarted(true, true);
            terminate(1);
        } else if (id == IDC_DOWNLOAD) {
            if (::IsWindowEnabled(::GetDlgItem(dialog, IDC_DOWNLOAD))) ::EndDialog(dialog, IDC_DOWNLOAD);
        } else {
            // Only the three buttons end the dialog: its caller acts on 1004 and 1005 alone.
            return FALSE;
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

bool workCanceled() { return cancelRequested.load(); }

bool progressWorkerRunning() { return workerStillRunning; }

void stopIfCanceled()
{
    if (cancelRequested.load() && ::GetCurrentThreadId() == workerThreadId.load()) throw WorkCanceled{};
}

INT_PTR runProgressDialog(DialogWork work)
{
    registerDialogClass();
    const INT_PTR result = ::DialogBoxParamA(launcherState().instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                             progressDialogProc, reinterpret_cast<LPARAM>(work));
    unique_handle& worker = workerThread();
    if ((result == IDOK || result == IDCANCEL) && worker) {
        // The worker may be writing into the extraction directory: it stops at its next block, and
        // only then may the directory go.
        if (::WaitForSingleObject(worker.get(), kCancelWaitMilliseconds) == WAIT_OBJECT_0)
            logInfo(L"work flow stopped");
        else {
            workerStillRunning = true;
            logError(L"work flow still running after %d ms", static_cast<int>(kCancelWaitMilliseconds));
        }
    }
    worker.reset();
    return result;
}

INT_PTR showRuntimeChoiceDialog(HWND owner, LocateAction locate)
{
    return ::DialogBoxParamW(launcherState().instance, MAKEINTRESOURCEW(IDD_RUNTIME_CHOICE), owner,
                             runtimeChoiceDialogProc, reinterpret_cast<LPARAM>(locate));
}

std::wstring runtimeChoiceText(const std::wstring& message, const std::wstring& bitness, const std::string& minimum,
                               const std::string& maximum, const std::wstring& minimumLabel,
                               const std::wstring& maximumLabel)
{
    // The message is configured text: its "%S" is replaced as text, never used as a format.
    std::wstring text = message;
    size_t placeholder = text.find(L"%S");
    if (placeholder != std::wstring::npos) text.replace(placeholder, 2, bitness);
    std::wstring suffix;
    if (!minimum.empty()) suffix += L" (" + minimumLabel + L" " + narrowToWide(minimum);
    if (!maximum.empty()) suffix += (suffix.empty() ? L" (" : L", ") + maximumLabel + L" " + narrowToWide(maximum);
    if (!suffix.empty()) text += suffix + L")";
    return text;
}

const wchar_t* launcherBitness() { return sizeof(void*) == 8 ? L"64" : L"32"; }

void centreWindow(HWND window)
{
    RECT area{};
    HWND parent = ::GetParent(window);
    if (parent == nullptr || !::GetWindowRect(parent, &area)) ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT own{};
    ::GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void setProgressRange(HWND window, int low, int high)
{
    if (window != nullptr) ::SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, low, high);
}

void setProgressPosition(HWND window, int position)
{
    if (window != nullptr) ::SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
}

void setMainText(HWND window, const std::wstring& text) { setItemText(window, IDC_MAIN_TEXT, text); }
void setStatusLine(HWND window, const std::wstring& text) { setItemText(window, IDC_STATUS_LINE, text); }
void setCancelLabel(HWND window, const std::wstring& text) { setItemText(window, IDCANCEL, text); }

void showStatusLine(HWND window, bool show)
{
    if (window != nullptr) ::ShowWindow(::GetDlgItem(window, IDC_STATUS_LINE), show ? SW_SHOW : SW_HIDE);
}

int watcherPosition(int waitStart, int tick)
{
    return std::min(kWatcherCeiling, waitStart + (tick / 5) * ((400 - waitStart) / 4));
}

void startJavaWindowWatcher(HWND window, int waitStart)
{
    if (window == nullptr) return;
    auto* arguments = new std::pair<HWND, int>(window, waitStart);
    if (!startThreadAboveNormal(watchForJavaWindow, arguments, L"watcher")) delete arguments;
}

void setUntarDuration(DWORD milliseconds) { untarDuration.store(milliseconds); }
void setUnpackFinished(bool finished) { unpackFinished.store(finished); }

void startUnpackAnimation(HWND window)
{
    if (window == nullptr) return;
    startThreadAboveNormal(animateUnpack, window, L"unpack animation");
}

void WindowProgress::doing(const std::wstring& text, const std::wstring& stopLabel)
{
    setMainText(window_, text);
    setCancelLabel(window_, stopLabel);
}

void WindowProgress::unpacking(unsigned long untarMilliseconds)
{
    setUntarDuration(untarMilliseconds);
    startUnpackAnimation(window_);
}

int WindowProgress::message(const std::wstring& text, const std::wstring& title, unsigned style)
{
    return ::MessageBoxW(window_, text.c_str(), title.c_str(), style);
}
