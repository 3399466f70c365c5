#include "natives/process/win32_exec.h"

#include <windows.h>

#include <vector>

#include "natives/jni_support.h"
#include "windows/base/handles.h"

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Exec_launch0(
    JNIEnv* env, jclass, jstring application, jstring commandLine) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        const JavaText program(env, application);
        const JavaText line(env, commandLine);
        // CreateProcessW may write into the command line, so it gets a copy of its own.
        std::vector<wchar_t> writable(line.text().begin(), line.text().end());
        writable.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created{};
        if (!::CreateProcessW(program.get(), line.isNull() ? nullptr : writable.data(), nullptr, nullptr, FALSE,
                              NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &created))
            return static_cast<jint>(::GetLastError());
        unique_handle process(created.hProcess);
        unique_handle thread(created.hThread);
        return 0;
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWin32ExecRows[] = {
    PLATFORM_ROW(Win32Exec, launch0, "(Ljava/lang/String;Ljava/lang/String;)I"),
};
constexpr NativeClass kWin32ExecNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/Win32Exec", kWin32ExecRows);
