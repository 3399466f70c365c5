// window_child.exe processes for tests of natives that look for, close or end windows and
// processes (tests/doubles/window_child).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "native_fixture.h"
#include "windows/base/handles.h"
#include "windows/base/wide_text.h"

// One child; ended by force (exit code 9) when the test is done with it.
struct WindowChild {
    unique_handle process;
    DWORD id = 0;
    WindowChild() = default;
    WindowChild(const WindowChild&) = delete;
    WindowChild& operator=(const WindowChild&) = delete;
    ~WindowChild()
    {
        if (running()) ::TerminateProcess(process.get(), 9);
    }
    bool running() const { return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT; }
    // The exit code once the child ended within milliseconds, else STILL_ACTIVE.
    DWORD exitCodeWithin(DWORD milliseconds) const
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.get(), &code);
        return code;
    }
};

inline std::wstring windowChildPath()
{
    // The test executable is <build>\tests\wine\wine_tests.exe.
    std::wstring path = moduleFileName();
    for (int up = 0; up < 2; ++up) path.erase(path.find_last_of(L'\\'));
    return path + L"\\doubles\\window_child\\window_child.exe";
}

// A named event no other test uses.
inline std::wstring childEventName()
{
    static LONG counter = 0;
    return L"window_child_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(::InterlockedIncrement(&counter));
}

// Starts program (window_child.exe or a copy of it) in mode and waits until its windows exist;
// null when it did not get that far.
inline std::unique_ptr<WindowChild> startWindowChild(const wchar_t* mode, const wchar_t* title = L"child window",
                                                     const std::wstring& program = windowChildPath())
{
    const std::wstring event = childEventName();
    unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
    std::wstring line = L"\"" + program + L"\" " + mode + L" " + event + L" \"" + title + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!ready || !::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &created))
        return nullptr;
    auto child = std::make_unique<WindowChild>();
    child->process.reset(created.hProcess);
    unique_handle thread(created.hThread);
    child->id = created.dwProcessId;
    HANDLE waits[] = {ready.get(), created.hProcess};
    if (::WaitForMultipleObjects(2, waits, FALSE, 20000) != WAIT_OBJECT_0) return nullptr;
    return child;
}

// Whether this Wine session can create visible top-level windows (it needs a display).
inline bool windowsCanShow()
{
    static const bool can = [] {
        HWND window = ::CreateWindowExW(0, L"STATIC", L"display probe", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr);
        if (window != nullptr) ::DestroyWindow(window);
        return window != nullptr;
    }();
    return can;
}

#define SKIP_WITHOUT_DISPLAY() \
    if (!windowsCanShow()) GTEST_SKIP() << "needs a display: run the Wine tests under Xvfb with DISPLAY set"
