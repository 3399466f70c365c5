// Natives of com.stowline.runtime.installer.platform.win32.Win32CommunicationBackend: two processes
// of the product exchanging pipe blocks (core/pipe_block.h) over one local named pipe. Handles
// cross as Java longs; -1 is the invalid handle, and every native given it does nothing and
// reports failure without calling Windows.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// -1, the invalid handle.
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_getInvalidHandle0(
    JNIEnv* env, jclass type) noexcept;
// A new duplex byte pipe of one instance that refuses remote clients and admits only the user,
// SYSTEM and Administrators; -1 on failure (a null name, or a name that already exists).
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_createListener0(
    JNIEnv* env, jclass type, jstring name) noexcept;
// Waits for a client on a listener; true once one is connected (also when it connected before the
// call, or connected and already left: its data can still be read). Retries other failures.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_connectNamedPipe0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// Opens the pipe as a client (the listener may identify this process but not impersonate it),
// waiting for a free instance and retrying; the handle, or 0 on failure.
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_connectClient0(
    JNIEnv* env, jclass type, jstring name) noexcept;
// Closes the handle.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_closeHandle0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// Drops the client connected to a listener.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_disconnectNamedPipe0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// The next block's payload; null when the pipe breaks, a read returns nothing, or the length is refused.
JNIEXPORT jbyteArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_readDataBlock0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// Writes one block and waits until the peer has read it (flush); false when a write fails (or a null array).
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_writeDataBlock0(
    JNIEnv* env, jclass type, jlong handle, jbyteArray data) noexcept;
// GetCurrentProcessId.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_getCurrentProcessId0(
    JNIEnv* env, jclass type) noexcept;
// Whether the process still runs (one that exists but may not be opened counts as running).
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_isProcessAlive0(
    JNIEnv* env, jclass type, jint processId) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend and its rows, for registration.
extern const NativeClass kWin32CommunicationBackendNatives;
