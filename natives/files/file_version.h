// Natives of com.stowline.runtime.installer.platform.win32.FileVersion: file versions compared.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Compares the file versions of the fixed version blocks (high half, then low half, both
// unsigned): 0 equal, 1 the first is higher, 2 the second is higher, 3 either cannot be read.
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_FileVersion_compare0(
    JNIEnv* env, jclass type, jstring first, jstring second) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/FileVersion and its rows, for registration.
extern const NativeClass kFileVersionNatives;
