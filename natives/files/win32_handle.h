// Natives of com.stowline.runtime.installer.platform.win32.Win32Handle: the process's own open
// file handles, closing one of them, and the targets of object-manager symbolic links.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Object[2]: int[] handle values and String[] object names (device paths) of this process's open
// file handles, index for index; null when the ntdll functions or the system handle list fail.
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Handle_list0(
    JNIEnv* env, jclass type) noexcept;
// Closes a handle of this process; true if it was closed.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Handle_close0(
    JNIEnv* env, jclass type, jint handle) noexcept;
// The target of a symbolic link such as \??\C:; null (and a printed line) on failure.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Handle_getDeviceName0(
    JNIEnv* env, jclass type, jstring name) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/Win32Handle and its rows, for registration.
extern const NativeClass kWin32HandleNatives;
