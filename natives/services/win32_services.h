// Natives of com.stowline.runtime.installer.platform.win32.Win32Services: install, configure,
// start, stop, query and remove Windows services. Results: 0 success, 5000 no service manager,
// 50001/50002 from the stop wait, negative states and start types from the queries, any other
// positive number the Win32 error of the call that failed.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// -(current state) (-1 stopped ... -4 running ... -7 paused), or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_queryStatus0(
    JNIEnv* env, jclass type, jstring name) noexcept;
// The binary path with its arguments, or " <error>" (" 5000" without the manager).
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_getServiceBinary0(
    JNIEnv* env, jclass type, jstring name) noexcept;
// -(start type) (-2 automatic, -3 on demand, -4 disabled; boot start reads as 0), or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_getStartType0(
    JNIEnv* env, jclass type, jstring name) noexcept;
// Sends stop and waits until stopped: 0, 50001 (not stopped in time), 50002 (status unreadable),
// or the error of the stop request (1062 when not running).
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_stopService0(
    JNIEnv* env, jclass type, jstring name, jint timeout) noexcept;
// Starts the service with the arguments (null: none); 0 or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_startService0(
    JNIEnv* env, jclass type, jstring name, jobjectArray arguments) noexcept;
// Marks the service for deletion; 0 or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_uninstallService0(
    JNIEnv* env, jclass type, jstring name) noexcept;
// Creates an own-process, on-demand service running as LocalSystem; 0 or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_installService0(
    JNIEnv* env, jclass type, jstring name, jstring displayName, jstring binaryPath) noexcept;
// Failure actions: count restarts after delay ms then nothing (or one restart for count 0), or
// none when restart is false; resetPeriod in seconds. 0, 1 without ChangeServiceConfig2W, 87 for
// a count outside 0..1024 when restarting, or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_setRestartServiceConfig0(
    JNIEnv* env, jclass type, jstring name, jboolean restart, jint delay, jint count, jint resetPeriod) noexcept;
// The delayed flag of an automatic service; 0 or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_setDelayedAutoStart0(
    JNIEnv* env, jclass type, jstring name, jboolean delayed) noexcept;
// Changes the configuration (null texts and SERVICE_NO_CHANGE leave a setting alone; dependencies
// are comma-separated, null or empty removes them all; the description is set when given, its
// outcome ignored). 0, 122 for a dependency list over 8,192 characters, or the error.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_changeServiceConfig0(
    JNIEnv* env, jclass type, jstring name, jstring displayName, jstring binaryPath, jint serviceType, jint startType,
    jstring dependencies, jstring account, jstring password, jstring description) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/Win32Services and its rows, for registration.
extern const NativeClass kWin32ServicesNatives;
