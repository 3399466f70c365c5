// Natives of com.stowline.runtime.installer.platform.win32.Misc: reboot, ending processes, window
// lookup, memory and disk figures, a move at the next reboot, running programs and the
// environment. registerExtensionFunctions0 of the same class lives with the registration table.
#pragma once

#include <string>
#include <vector>

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Reboots the machine when the shutdown privilege can be enabled; otherwise does nothing.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_reboot0(JNIEnv* env, jclass type) noexcept;
// The running programs as "<id> <path>"; with debug false SeDebugPrivilege is enabled first, with
// true it is switched off; null when nothing could be listed.
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getRunningModules0(
    JNIEnv* env, jclass type, jboolean debug) noexcept;
// Every entry of the environment block as "name=value" (the "=C:" kind included).
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getEnvVarPairs0(
    JNIEnv* env, jclass type) noexcept;
// Tells every top-level window that the environment changed (5 s time-out, hung windows skipped).
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_broadcastSettingChange0(
    JNIEnv* env, jclass type) noexcept;
// The total physical memory in bytes.
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getPhysicalMemory0(
    JNIEnv* env, jclass type) noexcept;
// The bytes free for the caller on the directory's volume, or -1.
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getFreeDiskSpace0(
    JNIEnv* env, jclass type, jstring directory) noexcept;
// Registers a move (or, with a null target, a deletion) for the next reboot; true when registered.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_moveWithDelayUntilReboot0(
    JNIEnv* env, jclass type, jstring source, jstring target) noexcept;
// Brings every visible window of this process (and its last active popup) to the foreground.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_toFront0(JNIEnv* env, jclass type) noexcept;
// Ends the processes: with force by TerminateProcess, otherwise by closing their visible windows and
// waiting up to timeout ms. 1 all ended; 0 one could not be ended (force) or had no visible window or
// refused the post; 2 a process could not be waited for; 3 the time-out elapsed.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_terminateProcesses0(
    JNIEnv* env, jclass type, jintArray ids, jboolean force, jint timeout) noexcept;
// The title of the process's first visible titled window, else of its last titled hidden one, else "".
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getWindowTitle0(
    JNIEnv* env, jclass type, jint processId) noexcept;
// Restores the window when minimized and brings it to the foreground.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_setForegroundWindow0(
    JNIEnv* env, jclass type, jlong window) noexcept;
// Objects of infoClass (handle, style, class name, title) for the process's visible unowned windows;
// the array has one slot per such window, untitled ones leave null slots at its end; null when the
// process has none or the objects cannot be made.
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getTopLevelWindows0(
    JNIEnv* env, jclass type, jclass infoClass, jint processId) noexcept;
// The process id of a process handle, or 0.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getPidFromHandle0(
    JNIEnv* env, jclass type, jlong process) noexcept;
// Runs the exported registration function named, for the loader (defined with the registration,
// natives/registration.cpp, whose error writer it reports through).
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_registerExtensionFunctions0(
    JNIEnv* env, jclass type, jobject loader, jstring functionName) noexcept;
}

// The running programs through the tool-help snapshot alone: the listing getRunningModules0 falls
// back to when the process-status functions are missing.
std::vector<std::wstring> toolHelpModules();

// The class com/stowline/runtime/installer/platform/win32/Misc and its rows, for registration.
extern const NativeClass kMiscNatives;
