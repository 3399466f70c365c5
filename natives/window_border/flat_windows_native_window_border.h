// Natives of com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder and its nested class
// $WndProc: the look and feel's own title bar on a window whose native caption is taken away.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Subclasses the window; the same handle, or 0 when nothing was taken over (no handle, already taken).
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_installImpl(
    JNIEnv* env, jobject self, jlong handle) noexcept;
// Gives the window its own procedure back.
JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_uninstallImpl(
    JNIEnv* env, jobject self, jlong handle) noexcept;
// Records the frame state (normal, maximized, full screen) and redraws the frame.
JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_updateFrame(
    JNIEnv* env, jobject self, jlong handle, jint state) noexcept;
// The colour painted behind the client area while it is resized.
JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_setWindowBackground(
    JNIEnv* env, jobject self, jlong handle, jint red, jint green, jint blue) noexcept;
// ShowWindow with the command given.
JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_showWindow(
    JNIEnv* env, jobject self, jlong handle, jint command) noexcept;
// A 4-byte value under HKEY_CURRENT_USER (REG_DWORD or REG_BINARY), or the default.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue(
    JNIEnv* env, jclass type, jstring key, jstring valueName, jint defaultValue) noexcept;
}

// The class com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder$WndProc and its rows, for registration.
extern const NativeClass kFlatWindowsNativeWindowBorderWndProcNatives;
// The class com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder and its rows, for registration.
extern const NativeClass kFlatWindowsNativeWindowBorderNatives;
