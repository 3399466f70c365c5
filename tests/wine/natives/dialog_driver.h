// Drives a modal dialog of this process from a second thread through window messages: finds the
// dialog by its title, acts on it, and cancels it if it is still open afterwards (so a dialog that
// ignores the actions fails the test instead of hanging it).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// True when top-level windows can be shown (Wine without a display cannot create them).
inline bool displayAvailable()
{
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    if (probe != nullptr) ::DestroyWindow(probe);
    return probe != nullptr;
}

struct ChildSearch {
    const std::wstring& text;
    const wchar_t* className;
    HWND found;
};

inline BOOL CALLBACK matchChild(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<ChildSearch*>(data);
    wchar_t title[512] = L"", kind[64] = L"";
    ::GetWindowTextW(window, title, 512);
    ::GetClassNameW(window, kind, 64);
    if ((!search->text.empty() && search->text != title) ||
        (search->className != nullptr && ::lstrcmpiW(kind, search->className) != 0))
        return TRUE;
    search->found = window;
    return FALSE;
}

// The first child, at any depth, with this text (any when empty) and window class (any when null).
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
    bool found() const { return found_; }    // the dialog showed and the actions ran
    bool forced() const { return forced_; }  // it had to be cancelled after them

private:
    void run()
    {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && (dialog == nullptr || !::IsWindowVisible(dialog)); ++i, ::Sleep(20))
            dialog = ::FindWindowW(nullptr, title_.c_str());
        if (dialog == nullptr || !::IsWindowVisible(dialog)) return;
        ::Sleep(300);  // the dialog finishes its set-up
        found_ = true;
        actions_(dialog);
        for (int i = 0; i < 250 && ::IsWindow(dialog); ++i) ::Sleep(20);
        for (; ::IsWindow(dialog); ::Sleep(200)) {
            forced_ = true;
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        }
    }

    std::wstring title_;
    std::function<void(HWND)> actions_;
    std::atomic<bool> found_{false}, forced_{false};
    std::thread thread_;
};
