// Natives of com/stowline/runtime/installer/platform/win32/VistaFileChooser: the shell's open and
// save dialogs with filters and check boxes.
#pragma once

#include "jni/jni.h"
#include "natives/native_table.h"

extern "C" {
// CoInitialize on the calling thread, outcome ignored.
JNIEXPORT void JNICALL
Java_com_stowline_runtime_installer_platform_win32_VistaFileChooser_initialize0(JNIEnv* env, jclass type) noexcept;
// Shows the open (or save) dialog; the chosen file paths (null where an item has none), or null
// when cancelled or failed. The check boxes' final states are written into checkStates.
JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_VistaFileChooser_displayDialog0(
    JNIEnv* env, jclass type, jlong parent, jstring title, jstring okLabel, jstring folder, jstring fileName,
    jint setOptions, jint clearOptions, jboolean save, jstring defaultExtension, jobjectArray filterNames,
    jobjectArray filterPatterns, jint filterIndex, jobjectArray checkLabels, jbooleanArray checkStates) noexcept;
}

// The class com/stowline/runtime/installer/platform/win32/VistaFileChooser and its rows, for registration.
extern const NativeClass kVistaFileChooserNatives;
