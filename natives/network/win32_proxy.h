// Natives of com.stowline.runtime.installer.platform.win32.Win32Proxy: the machine's proxy
// settings through WinHTTP, which is loaded at run time. Every function answers 100000 when a
// WinHTTP function is missing.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// True when all five WinHTTP functions were found (the lookup is made once).
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_loadFunctions0(
    JNIEnv* env, jclass type) noexcept;
// The current user's IE settings into out: [0] "true"/"false" for automatic detection, [1] the
// configuration script URL, [2] the proxy list, [3] the bypass list (each only when non-empty).
// 0, the Windows error, or 100000.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getIEConfig0(
    JNIEnv* env, jclass type, jobjectArray out) noexcept;
// WinHTTP's default configuration into out: [0] "true" for a named proxy, [1] the proxy list,
// [2] the bypass list (each only when non-empty). 0, the Windows error, or 100000.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getDefaultConfig0(
    JNIEnv* env, jclass type, jobjectArray out) noexcept;
// The proxy for url by auto-proxy (out as for getDefaultConfig0): 0 (also for a null url, out
// untouched), 100000, or stage * 2^32 + the Windows error (stage 1 opening WinHTTP, 2 the lookup).
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getAutoProxyConfig0(
    JNIEnv* env, jclass type, jobjectArray out, jstring url, jstring configUrl, jint flags, jint autoDetectFlags,
    jboolean autoLogon) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/Win32Proxy and its rows, for registration.
extern const NativeClass kWin32ProxyNatives;
