// Natives of com.stowline.runtime.installer.platform.win32.Win32Exec: starting a program.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Starts the program (application may be null: the command line names it) with this process's
// environment and working directory and no inherited handles; 0, or the Win32 error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Exec_launch0(
    JNIEnv* env, jclass type, jstring application, jstring commandLine) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/Win32Exec and its rows, for registration.
extern const NativeClass kWin32ExecNatives;
