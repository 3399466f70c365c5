// Drives a modal dialog of this process from a second thread through window messages, for the
// tests of the dialog natives: finds the dialog by its title, acts on it, and closes it if it is
// still open after the actions (so a dialog that ignores them ends the test instead of hanging it).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// True when top-level windows can be shown (Wine without a display cannot create them).
inline bool displayAvailable()
{
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"display probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) return false;
    ::DestroyWindow(probe);
    return true;
}

struct ChildSearch {
    std::wstring text;
    const wchar_t* className;
    HWND found;
};

inline BOOL CALLBACK matchChild(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<ChildSearch*>(data);
    wchar_t buffer[512] = L"";
    ::GetWindowTextW(window, buffer, 512);
    wchar_t className[64] = L"";
    ::GetClassNameW(window, className, 64);
    if ((search->text.empty() || search->text == buffer) &&
        (search->className == nullptr || ::lstrcmpiW(className, search->className) == 0)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The first child (at any depth) with this text and, when given, this window class.
inline HWND childWindow(HWND parent, const std::wstring& text, const wchar_t* className = nullptr)
{
    ChildSearch search{text, className, nullptr};
    ::EnumChildWindows(parent, matchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class DialogDriver {
public:
    DialogDriver(std::wstring title, std::function<void(HWND)> actions)
        : title_(std::move(title)), actions_(std::move(actions)), thread_([this] { run(); })
    {
    }
    ~DialogDriver() { join(); }
    void join()
    {
        if (thread_.joinable()) thread_.join();
    }
    // The dialog was found and the actions ran.
    bool found() const { return found_; }
    // The dialog was still open after the actions and had to be cancelled.
    bool forced() const { return forced_; }

private:
    void run()
    {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && dialog == nullptr; ++i) {
            dialog = ::FindWindowW(nullptr, title_.c_str());
            if (dialog == nullptr || !::IsWindowVisible(dialog)) {
                dialog = nullptr;
                ::Sleep(20);
            }
        }
        if (dialog == nullptr) return;
        ::Sleep(300);  // let the dialog finish its set-up
        found_ = true;
        actions_(dialog);
        for (int i = 0; i < 250 && ::IsWindow(dialog); ++i) ::Sleep(20);
        while (::IsWindow(dialog)) {
            forced_ = true;
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            ::PostMessageW(dialog, WM_CLOSE, 0, 0);
            ::Sleep(200);
        }
    }

    std::wstring title_;
    std::function<void(HWND)> actions_;
    std::atomic<bool> found_{false};
    std::atomic<bool> forced_{false};
    std::thread thread_;
};
