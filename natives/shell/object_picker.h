// Natives of com/stowline/runtime/installer/platform/win32/ObjectPicker: the directory user and
// group picker.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Shows the picker for the scopes chosen; one ObjectPicker$Result per selected object (name, path,
// class, user principal name, SID as text), or null when cancelled, unavailable or ownerless.
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_ObjectPicker_show0(
    JNIEnv* env, jclass type, jboolean multiSelect, jboolean groups, jboolean users, jboolean wellKnownPrincipals,
    jboolean localComputerOnly) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/ObjectPicker and its rows, for registration.
extern const NativeClass kObjectPickerNatives;
