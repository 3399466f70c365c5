#include "natives/shell/win_task_bar.h"

#include <windows.h>
#include <shobjidl.h>

#include "natives/jni_support.h"
#include "windows/base/handles.h"

namespace {

constexpr CLSID kTaskbarListClass = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};

// The process's taskbar object: made once, never released (it is used until the process ends, so
// it is not destroyed with the statics after COM may be gone).
com_ptr<ITaskbarList3>& taskBar()
{
    static com_ptr<ITaskbarList3>* object = new com_ptr<ITaskbarList3>;
    return *object;
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_initTaskBar0(JNIEnv*,
                                                                                                  jclass) noexcept
{
    guarded([&] {
        if (taskBar()) return;
        // Stays initialised for the object's life, the process's.
        if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        com_ptr<ITaskbarList3> created;
        if (FAILED(::CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskbarList3),
                                      created.putVoid())))
            return;
        // The list answers nothing before HrInit.
        if (FAILED(created->HrInit())) return;
        taskBar() = std::move(created);
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setOverlayIcon0(
    JNIEnv*, jclass, jlong window, jlong icon) noexcept
{
    guarded([&] {
        if (taskBar()) taskBar()->SetOverlayIcon(javaToHandle<HWND>(window), javaToHandle<HICON>(icon), nullptr);
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setProgress0(JNIEnv*, jclass,
                                                                                                  jlong window,
                                                                                                  jlong completed,
                                                                                                  jlong total) noexcept
{
    guarded([&] {
        if (taskBar())
            taskBar()->SetProgressValue(javaToHandle<HWND>(window), static_cast<ULONGLONG>(completed),
                                        static_cast<ULONGLONG>(total));
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setState0(JNIEnv*, jclass,
                                                                                               jlong window,
                                                                                               jint state) noexcept
{
    guarded([&] {
        if (taskBar()) taskBar()->SetProgressState(javaToHandle<HWND>(window), static_cast<TBPFLAG>(state));
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
