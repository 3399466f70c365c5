// Natives of com/stowline/runtime/installer/platform/win32/WinTaskBar: progress, state and overlay
// icon of a window's taskbar button.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Creates the process's taskbar object once (COM initialised apartment-threaded on this thread).
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_initTaskBar0(JNIEnv* env,
                                                                                                  jclass type) noexcept;
// SetOverlayIcon (window, icon, no description); nothing before initTaskBar0.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setOverlayIcon0(
    JNIEnv* env, jclass type, jlong window, jlong icon) noexcept;
// SetProgressValue (window, completed, total); nothing before initTaskBar0.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setProgress0(
    JNIEnv* env, jclass type, jlong window, jlong completed, jlong total) noexcept;
// SetProgressState (window, TBPF_* state); nothing before initTaskBar0.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinTaskBar_setState0(JNIEnv* env, jclass type,
                                                                                               jlong window,
                                                                                               jint state) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/WinTaskBar and its rows, for registration.
extern const NativeClass kWinTaskBarNatives;
