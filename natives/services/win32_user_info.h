// Natives of com.stowline.runtime.installer.platform.win32.Win32UserInfo: the current user's SID,
// group membership and elevation, starting a program elevated, local users and groups, profile
// directories, account names and account rights. Status texts begin with a blank, so they can be
// told from a path, an account name or a SID.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// The SID string of the token's user (thread token first, then the process token), or null.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getUserSid0(
    JNIEnv* env, jclass type) noexcept;
// True when the token holds S-1-5-32-<rid> enabled (a deny-only group is no membership); true as
// well when the token cannot be examined at all, false when its groups cannot be read.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_isMemberOfGroup0(
    JNIEnv* env, jclass type, jint rid) noexcept;
// The process token's elevation type (1 default, 2 full, 3 limited), or 0.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getElevationType0(
    JNIEnv* env, jclass type) noexcept;
// ShellExecuteW with the "runas" verb; true when the program was started.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_executeElevated0(
    JNIEnv* env, jclass type, jstring file, jstring parameters, jstring directory, jint show) noexcept;
// NetUserDel's status unchanged (server null: this computer), -1 without netapi32.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_deleteUser0(
    JNIEnv* env, jclass type, jstring server, jstring user) noexcept;
// NetLocalGroupDel's status unchanged, -1 without netapi32.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_deleteLocalGroup0(
    JNIEnv* env, jclass type, jstring server, jstring group) noexcept;
// Creates a local user, optionally in a local group (created when createGroup; an existing group
// is then a failure only when groupMustBeNew). "<user sid>[ <group sid> true|false]" on success,
// "<step> <code>[ <field>]" or "5" on failure, null without netapi32.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_addUser0(
    JNIEnv* env, jclass type, jstring user, jstring password, jstring comment, jstring group, jstring groupComment,
    jboolean createGroup, jboolean groupMustBeNew) noexcept;
// The profile directory of the account with that SID (logged on with the password), or a status
// text beginning with a blank.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getUserProfileDirectory0(
    JNIEnv* env, jclass type, jstring sid, jstring password) noexcept;
// "domain\name", ".\name" for built-in and domainless accounts, the name alone when nameOnly, the
// fixed names of the service accounts; " <error>" on failure, "" without the SID functions.
JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getAccountName0(
    JNIEnv* env, jclass type, jstring sid, jboolean nameOnly) noexcept;
// Adds or removes an account right (account as SID string or name; remove with a null right
// removes all rights); true on success.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_setLsaAccountRight0(
    JNIEnv* env, jclass type, jstring account, jstring right, jboolean add) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/Win32UserInfo and its rows, for registration.
extern const NativeClass kWin32UserInfoNatives;
