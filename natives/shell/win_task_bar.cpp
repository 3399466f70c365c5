#include "natives/shell/win_task_bar.h"

#include <windows.h>
#include <shobjidl.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "natives/jni_support.h"
#include "windows/base/handles.h"

namespace {

constexpr CLSID kTaskbarListClass = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr UINT kCallMessage = WM_APP + 1;
constexpr wchar_t kOwnerClass[] = L"launcher taskbar owner";

using TaskBarCall = std::function<void(ITaskbarList3*)>;

// The taskbar object belongs to the single-threaded apartment it was made in, and Java calls the
// setters from any thread: one thread of its own makes the object, keeps it for the process's life
// (never released, so that nothing touches it after COM may be gone) and runs every call on it,
// handed over by SendMessageW to its message-only window.
std::atomic<HWND> ownerWindow{nullptr};

LRESULT CALLBACK ownerProcedure(HWND window, UINT message, WPARAM unused, LPARAM call)
{
    if (message != kCallMessage) return ::DefWindowProcW(window, message, unused, call);
    auto* object = reinterpret_cast<ITaskbarList3*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (object != nullptr) (*reinterpret_cast<const TaskBarCall*>(call))(object);
    return 0;
}

struct OwnerStart {
    unique_handle ready;
    HWND window = nullptr;
};

DWORD WINAPI ownerThread(void* parameter)
{
    auto* start = static_cast<OwnerStart*>(parameter);
    com_ptr<ITaskbarList3> object;
    HWND window = nullptr;
    // The list answers nothing before HrInit.
    if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) &&
        SUCCEEDED(::CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskbarList3),
                                     object.putVoid())) &&
        SUCCEEDED(object->HrInit()))
        window = ::CreateWindowExW(0, kOwnerClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object.get()));
    start->window = window;
    ::SetEvent(start->ready.get());  // start is the caller's and gone from here on
    if (window == nullptr) return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
}

// Runs call on the taskbar object's thread and waits for it; nothing while no object exists.
void onTaskBar(const TaskBarCall& call)
{
    const HWND window = ownerWindow.load();
    if (window != nullptr) ::SendMessageW(window, kCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_initTaskBar0(JNIEnv*,
                                                                                                  jclass) noexcept
{
    guarded([&] {
        // Concurrent first calls make one object: the second waits and finds it made.
        static std::mutex starting;
        std::lock_guard<std::mutex> lock(starting);
        if (ownerWindow.load() != nullptr) return;
        WNDCLASSW type{};
        type.lpfnWndProc = ownerProcedure;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.lpszClassName = kOwnerClass;
        ::RegisterClassW(&type);  // fails harmlessly when an earlier attempt registered it
        OwnerStart start;
        start.ready.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!start.ready) return;
        unique_handle thread(::CreateThread(nullptr, 0, ownerThread, &start, 0, nullptr));
        if (!thread) return;
        ::WaitForSingleObject(start.ready.get(), INFINITE);
        ownerWindow.store(start.window);
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setOverlayIcon0(
    JNIEnv*, jclass, jlong window, jlong icon) noexcept
{
    guarded([&] {
        onTaskBar([=](ITaskbarList3* taskBar) {
            taskBar->SetOverlayIcon(javaToHandle<HWND>(window), javaToHandle<HICON>(icon), nullptr);
        });
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setProgress0(JNIEnv*, jclass,
                                                                                                  jlong window,
                                                                                                  jlong completed,
                                                                                                  jlong total) noexcept
{
    guarded([&] {
        onTaskBar([=](ITaskbarList3* taskBar) {
            taskBar->SetProgressValue(javaToHandle<HWND>(window), static_cast<ULONGLONG>(completed),
                                      static_cast<ULONGLONG>(total));
        });
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setState0(JNIEnv*, jclass,
                                                                                               jlong window,
                                                                                               jint state) noexcept
{
    guarded([&] {
        onTaskBar([=](ITaskbarList3* taskBar) {
            taskBar->SetProgressState(javaToHandle<HWND>(window), static_cast<TBPFLAG>(state));
        });
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWinTaskBarRows[] = {
    PLATFORM_ROW(WinTaskBar, initTaskBar0, "()V"),
    PLATFORM_ROW(WinTaskBar, setOverlayIcon0, "(JJ)V"),
    PLATFORM_ROW(WinTaskBar, setProgress0, "(JJJ)V"),
    PLATFORM_ROW(WinTaskBar, setState0, "(JI)V"),
};
constexpr NativeClass kWinTaskBarNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/WinTaskBar", kWinTaskBarRows);
