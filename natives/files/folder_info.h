// Natives of com.stowline.runtime.installer.platform.win32.FolderInfo: special folders, system
// directories, drive types and other forms of a path.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// The special folder of the code (up to 1000 by CSIDL for all users or the current user, created
// when missing; above 1000 by known-folder id); null on failure.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getSpecialFolder0(
    JNIEnv* env, jclass type, jint code, jboolean allUsers) noexcept;
// The text of a value of HKLM\Software\Microsoft\Windows\CurrentVersion up to its first NUL; null on failure.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getPathFromRegistry0(
    JNIEnv* env, jclass type, jstring name) noexcept;
// The system's Windows directory; null on failure.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getWindowsDirectory0(
    JNIEnv* env, jclass type) noexcept;
// The system directory; null on failure.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getSystemDirectory0(
    JNIEnv* env, jclass type) noexcept;
// GetDriveTypeW of the root path, unchanged.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getDriveType0(
    JNIEnv* env, jclass type, jstring root) noexcept;
// The short form of the path, or the very argument object when there is none.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getShortPathName0(
    JNIEnv* env, jclass type, jstring path) noexcept;
// The UNC form of the path; ";" and the decimal status when there is none; the argument itself
// when mpr.dll's WNetGetUniversalNameW is unavailable.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getUniversalPathName0(
    JNIEnv* env, jclass type, jstring path) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/FolderInfo and its rows, for registration.
extern const NativeClass kFolderInfoNatives;
