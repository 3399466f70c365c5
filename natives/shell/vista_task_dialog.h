// Natives of com/stowline/runtime/installer/platform/win32/VistaTaskDialog: the common controls'
// task dialog with custom buttons and a verification box.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// Shows the task dialog (modal on this thread). 1..n for custom button 1..n, 1000 for any other
// outcome, negated when the verification box was ticked; 0 when the task dialog is unavailable
// (comctl32 version 6 not loaded).
JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_VistaTaskDialog_show0(
    JNIEnv* env, jclass type, jlong parent, jstring title, jstring instruction, jstring content, jint flags, jint icon,
    jint width, jstring verification, jobjectArray buttons, jint defaultIndex) noexcept;
// Nothing to prepare.
JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_VistaTaskDialog_init0(JNIEnv* env,
                                                                                                jclass type) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/VistaTaskDialog and its rows, for registration.
extern const NativeClass kVistaTaskDialogNatives;
