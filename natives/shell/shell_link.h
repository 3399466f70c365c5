// Natives of com/stowline/runtime/installer/platform/win32/ShellLink: shortcut files, shell
// notifications and the COM initialisation the Java side asks for around them.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Saves a shortcut file (target, working directory, icon, arguments, run as administrator,
// description, show command) through the shell's link object; true when saved.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
    JNIEnv* env, jclass type, jstring file, jstring target, jstring workingDirectory, jstring icon, jstring arguments,
    jboolean runAsAdministrator, jstring description, jint showCommand) noexcept;
// The narrow form: the texts after the file name are byte arrays of ANSI text, ending at their
// first NUL or at the end of the array; no show command. Exported only, never registered.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
    JNIEnv* env, jclass type, jstring file, jbyteArray target, jbyteArray workingDirectory, jbyteArray icon,
    jbyteArray arguments, jboolean runAsAdministrator, jbyteArray description) noexcept;
// Tells the shell that an item was created and a directory changed (UTF-16 paths in byte arrays,
// ending at their first NUL or at the end of the array); always true.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_changeNotify0(
    JNIEnv* env, jclass type, jbyteArray created, jbyteArray updatedDirectory) noexcept;
// CoInitialize on the calling thread; always true.
JNIEXPORT jboolean JNICALL
Java_com_stowline_runtime_installer_platform_win32_ShellLink_initialize0(JNIEnv* env, jclass type) noexcept;
// CoUninitialize on the calling thread; always true.
JNIEXPORT jboolean JNICALL
Java_com_stowline_runtime_installer_platform_win32_ShellLink_uninitialize(JNIEnv* env, jclass type) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/ShellLink and its rows, for registration.
extern const NativeClass kShellLinkNatives;
