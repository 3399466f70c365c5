// Natives of com/stowline/runtime/installer/platform/win32/WinGuiHelper: the native window behind
// an AWT window, flashing, and icons made from icon-file bytes.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// The window's "peer" field (looked up on componentClass); null when it cannot be read.
JNIEXPORT jobject JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getPeer0(
    JNIEnv* env, jclass type, jobject window, jclass componentClass) noexcept;
// The long that the reflected method returns when called on peer; 0 when it cannot be called.
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getHwnd0(
    JNIEnv* env, jclass type, jobject peer, jobject method) noexcept;
// DestroyIcon of a handle made by createHIcon0.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_destroyHIcon0(
    JNIEnv* env, jclass type, jlong icon) noexcept;
// An icon of the image in the icon file that best fits width x height; 0 when the bytes hold no
// usable icon.
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_createHIcon0(
    JNIEnv* env, jclass type, jbyteArray iconFile, jint width, jint height) noexcept;
// FlashWindow (window, invert).
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_flashWindow0(
    JNIEnv* env, jclass type, jlong window, jboolean invert) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/WinGuiHelper and its rows, for registration.
extern const NativeClass kWinGuiHelperNatives;
