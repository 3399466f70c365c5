// Natives of com.stowline.runtime.installer.platform.win32.ACLHandling: one more access entry in
// the access list of a file, directory or registry key.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Grants the trustee (kind 1 Authenticated Users, 3 the account as SID string or name, 5 S-1-2-547,
// others Everyone) the generic rights chosen by read, write, execute and all on the object at path
// (a registry path when registry is set), inherited by sub-containers and objects. True if the
// entry was added; a failing step prints its line.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ACLHandling_addACE(
    JNIEnv* env, jclass type, jstring path, jboolean registry, jboolean read, jboolean write, jboolean execute,
    jboolean all, jint trusteeKind, jstring account) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/ACLHandling and its rows, for registration.
extern const NativeClass kACLHandlingNatives;
