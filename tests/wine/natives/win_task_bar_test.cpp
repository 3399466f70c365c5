// The taskbar setters before the taskbar object exists (they must do nothing) and after.
#include <windows.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <thread>

#include "native_fixture.h"
#include "natives/shell/win_task_bar.h"

namespace {

using WinTaskBar = NativeTest;

void setAll(JNIEnv* env, jlong window, jlong icon)
{
    Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setProgress0(env, nullptr, window, 40, 100);
    Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setProgress0(env, nullptr, window, -1, 0);
    Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setState0(env, nullptr, window, TBPF_ERROR);
    Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setOverlayIcon0(env, nullptr, window, icon);
}

TEST_F(WinTaskBar, SettersBeforeAndAfterTheTaskBarExists)
{
    HWND window = ::CreateWindowExW(0, L"STATIC", L"taskbar test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, HWND_MESSAGE,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    const jlong icon = reinterpret_cast<jlong>(::LoadIconW(nullptr, IDI_APPLICATION));
    // Before initTaskBar0 there is no object to call: a setter that used one would crash here.
    setAll(env, reinterpret_cast<jlong>(window), icon);
    setAll(env, 0, 0);
    // The object lives in the apartment of the thread that made it; that thread is not the test's.
    std::thread([this, window, icon] {
        Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_initTaskBar0(env, nullptr);
        Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_initTaskBar0(env, nullptr);  // once only
        setAll(env, reinterpret_cast<jlong>(window), icon);
        Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setState0(
            env, nullptr, reinterpret_cast<jlong>(window), TBPF_NOPROGRESS);
    }).join();
    ::DestroyWindow(window);
}

TEST_F(WinTaskBar, ConcurrentFirstCallsAndSettersFromOtherThreads)
{
    if (!inFreshProcess()) return;
    HWND window = ::CreateWindowExW(0, L"STATIC", L"taskbar test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, HWND_MESSAGE,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    atOnce(8, [this](int) { Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_initTaskBar0(env, nullptr); });
    // Threads without COM, one in the multi-threaded apartment, and this one.
    atOnce(4, [this, window](int i) {
        if (i == 0) ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        setAll(env, reinterpret_cast<jlong>(window), 0);
    });
    setAll(env, reinterpret_cast<jlong>(window), 0);
    ::DestroyWindow(window);
}

}  // namespace
