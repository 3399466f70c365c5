// The installer's dialogs: the progress dialog (103) with its bar, status line and Cancel button,
// the runtime choice dialog (104), the Java-window watcher and the unpack animation.
//
// Bar scale while a progress dialog exists: 0-100 integrity check, 100-200 untar of an included
// runtime, 200-300 unpacking of packed runtime jars, then the wait for the Java window up to 390.
// A download shows its own 0-100 on the same bar.
//
// Every function that takes a window does nothing when the window is null; all updates are window
// messages, so any thread may call them.
#pragma once

#include <windows.h>

#include <string>

#include "windows/work_progress.h"

// The work a progress dialog's worker thread runs with the dialog as its progress window.
using DialogWork = void (*)(HWND dialog);
// What the runtime choice dialog's Locate button runs (owner: the dialog); true when a runtime
// was located and loaded.
using LocateAction = bool (*)(HWND owner);

// Cancel of the progress dialog: the dialog sets the request, the worker stops at its next block.
// stopIfCanceled throws WorkCanceled on the dialog's worker thread only (elsewhere it does nothing);
// the worker's frame catches it, so every owner on the way closes its handle.
struct WorkCanceled {};
bool workCanceled();
void stopIfCanceled();

// Registers the "MyDialogClass" window class of dialog 103 (once; later calls do nothing).
void registerDialogClass();

// Dialog procedure of the progress dialog: its WM_INITDIALOG starts the worker thread on the
// DialogWork passed as lParam; the dialog ends when the work returns.
INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Dialog procedure of the runtime choice dialog (the LocateAction as lParam): ends with 1004
// (download) or 1005 (a runtime was located); Cancel clears the install flags and ends the process
// with code 1.
INT_PTR CALLBACK runtimeChoiceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the progress dialog modally (no owner) with work on its worker thread; returns its end
// code, or -1 when it could not be created (the work has then not run). After a Cancel (IDOK or
// IDCANCEL) it returns only once the worker has stopped, or after kCancelWaitMilliseconds.
constexpr DWORD kCancelWaitMilliseconds = 15000;
INT_PTR runProgressDialog(DialogWork work);
// True when the last dialog's worker had not stopped within that bound after a Cancel.
bool progressWorkerRunning();
// Shows the runtime choice dialog modally over owner; returns its end code (-1: not shown).
INT_PTR showRuntimeChoiceDialog(HWND owner, LocateAction locate);

// The runtime choice dialog's text: message with its first "%S" replaced by bitness, then the
// configured bounds in parentheses, e.g. " (minimum version: 1.8, maximum version: 11)".
std::wstring runtimeChoiceText(const std::wstring& message, const std::wstring& bitness,
                               const std::string& minimum, const std::string& maximum,
                               const std::wstring& minimumLabel, const std::wstring& maximumLabel);
// "64" in the x64 build, "32" in the x86 build.
const wchar_t* launcherBitness();

// Centres window over its parent, or over the desktop's work area when it has none.
void centreWindow(HWND window);

// Bar, texts and status line of a progress window (the dialog or a wrapper's window).
void setProgressRange(HWND window, int low, int high);
void setProgressPosition(HWND window, int position);
void setMainText(HWND window, const std::wstring& text);
void setStatusLine(HWND window, const std::wstring& text);
void showStatusLine(HWND window, bool show);
void setCancelLabel(HWND window, const std::wstring& text);

// The watcher's bar position at a tick: from waitStart, every fifth tick adds (400 - waitStart) / 4,
// never beyond 390.
int watcherPosition(int waitStart, int tick);
// Starts the thread that waits for the Java program's first window, then hides window. After
// about 240 s without a window (and key 159 unset) the process ends with message 20014.
void startJavaWindowWatcher(HWND window, int waitStart);

// The unpack animation (200 to 300 in steps of 10, one step per tenth of the untar duration,
// until the unpack has finished). setUntarDuration and setUnpackFinished may be called from the
// worker while the animation runs.
void setUntarDuration(DWORD milliseconds);
void setUnpackFinished(bool finished);
void startUnpackAnimation(HWND window);

// Work's progress shown in a progress window (the dialog or a wrapper's window): the functions
// above on that window. Without a window nothing shows and messages are unowned; a Cancel is the
// dialog's (workCanceled, stopIfCanceled).
class WindowProgress final : public WorkProgress {
public:
    explicit WindowProgress(HWND window) : window_(window) {}

    bool shown() const override { return window_ != nullptr; }
    void doing(const std::wstring& text, const std::wstring& stopLabel) override;
    void reached(int position) override { setProgressPosition(window_, position); }
    void status(const std::wstring& text) override { setStatusLine(window_, text); }
    void showStatus(bool show) override { showStatusLine(window_, show); }
    void unpacking(unsigned long untarMilliseconds) override;
    void unpacked() override { setUnpackFinished(true); }
    int message(const std::wstring& text, const std::wstring& title, unsigned style) override;
    bool cancelled() const override { return workCanceled(); }
    void stopIfCancelled() override { stopIfCanceled(); }

private:
    HWND window_;
};
