// Natives of com.stowline.runtime.installer.platform.win32.wininet.WinInet: HTTP requests through
// WinInet, loaded at run time. connect0 makes a connection record that Java owns through the
// returned handle until destroy0; each step that fails records where (the error location) and
// the Windows error. A handle of 0, or one that was never returned or is already destroyed, makes
// every function do nothing and answer 0 or null.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Loads WinInet and its functions; false (with a line on standard output) when something is missing.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_init0(
    JNIEnv* env, jclass type) noexcept;
// The text of a Windows or WinInet error code; empty when none is known.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getErrorMessage0(
    JNIEnv* env, jclass type, jint code) noexcept;
// The Windows error recorded with the error location (6 for an allocation failure); 0 when none.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getErrorCode0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// The step that failed (1 open, 2 connect, 3 open request, 4 send, 5 read, 6 body, 7 to 9 headers,
// 10 and 11 options); 0 when no error is recorded.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getErrorLocation0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// Forgets the recorded error.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_clearError0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// Closes the record's request, connection and internet handles and frees the record.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_destroy0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// A new record with an internet handle (agent, access type, proxy, bypass, flags) and an HTTP
// connection to host:port; the handle even when a step failed (its location 1 or 2); 0 only when
// no record could be made.
JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_connect0(
    JNIEnv* env, jclass type, jstring agent, jint accessType, jstring proxy, jstring bypass, jint openFlags,
    jstring host, jint port, jint connectFlags) noexcept;
// Opens the record's request (verb, path, flags), ORs securityFlags into its security options.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_openRequest0(
    JNIEnv* env, jclass type, jlong handle, jstring verb, jstring path, jint flags, jint securityFlags) noexcept;
// The response's raw headers (CRLF-separated, ANSI); null when there are none or on failure.
JNIEXPORT jbyteArray JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getHeaders0(
    JNIEnv* env, jclass type, jlong handle) noexcept;
// Reads up to length bytes into array at offset: the count, -1 at the end of the data (length > 0),
// 0 for length 0 and on failure (location 5; also for a window outside the array).
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_read0(
    JNIEnv* env, jclass type, jlong handle, jbyteArray array, jint offset, jint length) noexcept;
// InternetErrorDlg for the record's request (window 0: the desktop window); its result.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_internetErrorDlg0(
    JNIEnv* env, jclass type, jlong handle, jint error, jint flags, jlong window) noexcept;
// Sends the request with extra headers and a body (either may be null) unless an error is
// recorded; the HTTP status code, or 0 when the send or the status query failed.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_sendRequest0(
    JNIEnv* env, jclass type, jlong handle, jstring headers, jbyteArray body) noexcept;
// Sets an option of the request from bytes (null: no data) unless an error is recorded.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_setOption0(
    JNIEnv* env, jclass type, jlong handle, jint option, jbyteArray value) noexcept;
// Sets a 4-byte option of the request.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_setDwordOption0(
    JNIEnv* env, jclass type, jlong handle, jint option, jint value) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/wininet/WinInet and its rows, for registration.
extern const NativeClass kWinInetNatives;
