// Natives of com.stowline.runtime.installer.platform.win32.Registry: keys and values of the
// registry. Root codes 1 to 5 are HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
// HKEY_USERS and HKEY_CURRENT_CONFIG; any other code fails. view (0, KEY_WOW64_64KEY or
// KEY_WOW64_32KEY) is OR'ed into every open and create.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// True if the key opens for reading.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_keyExists0(
    JNIEnv* env, jclass type, jint root, jstring path, jint view) noexcept;
// True if the key was created or already existed and opened.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_createKey0(
    JNIEnv* env, jclass type, jint root, jstring path, jint view) noexcept;
// The value (null name: the default value) as String, WinRegistry$ExpandString, byte[], Integer,
// String[] or Long, whatever its size; null when missing or of another type.
JNIEXPORT jobject JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_getValue0(
    JNIEnv* env, jclass type, jint root, jstring path, jstring name, jint view) noexcept;
// Writes the value whole as the type code says (1 REG_SZ, 2 REG_DWORD, 3 REG_MULTI_SZ, 4 REG_BINARY,
// 5 REG_EXPAND_SZ, 6 REG_QWORD), creating the key; false when nothing was written (a failed write
// also prints "no success <status>").
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_setValue0(
    JNIEnv* env, jclass type, jint root, jstring path, jstring name, jobject value, jint valueType, jint view) noexcept;
// Deletes the value if the key opens for writing.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_deleteValue0(
    JNIEnv* env, jclass type, jint root, jstring path, jstring name, jint view) noexcept;
// Deletes the key and everything below it, deepest first; with onlyIfEmpty only a key without
// subkeys and values. A null or empty path deletes nothing.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_deleteKey0(
    JNIEnv* env, jclass type, jint root, jstring path, jboolean onlyIfEmpty, jint view) noexcept;
// Saves the key to a new hive file (needs SeBackupPrivilege); true if written.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_saveKey0(
    JNIEnv* env, jclass type, jint root, jstring path, jstring file, jint view) noexcept;
// Restores a hive file over the key (needs SeBackupPrivilege and SeRestorePrivilege); true if done.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_restoreKey0(
    JNIEnv* env, jclass type, jint root, jstring path, jstring file, jint view) noexcept;
// Names of the direct subkeys; null when the key does not open.
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_enumSubKeys0(
    JNIEnv* env, jclass type, jint root, jstring path, jint view) noexcept;
// Names of the values; null when the key does not open.
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_enumValues0(
    JNIEnv* env, jclass type, jint root, jstring path, jint view) noexcept;
// Tells the shell that file associations changed.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_changeNotifyAssociations0(
    JNIEnv* env, jclass type) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/Registry and its rows, for registration.
extern const NativeClass kRegistryNatives;
