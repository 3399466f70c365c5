// Binding the exported natives to their Java classes with RegisterNatives. Every function is found
// by its exported JNI name in the launcher's own module, so the tables hold names only; each row is
// checked against its function's parameters when the table is compiled (native_table.h). Each class
// file keeps its own table; registration.cpp keeps the order of the classes.
#pragma once

#include <windows.h>

#include <cstddef>

#include "jni/native_entry.h"
#include "natives/native_table.h"

// The platform classes (registerNatives) and the window-border classes (registerNativesFlatlaf).
extern const NativeClass* const kPlatformClasses[];
extern const size_t kPlatformClassCount;
extern const NativeClass* const kWindowBorderClasses[];
extern const size_t kWindowBorderClassCount;

// How a class of a table is found.
struct ClassFinder {
    jobject loader = nullptr;      // null: FindClass with the slash name
    jclass classClass = nullptr;   // java/lang/Class, with loader
    jmethodID forName = nullptr;   // its static forName(String, boolean, ClassLoader)
};

// Registers the classes in order, stopping at the first one that fails (reported through error);
// true when all were registered.
bool registerClasses(JNIEnv* env, HMODULE module, const NativeClass* const* classes, size_t count,
                     const ClassFinder& finder, NativeErrorFunction error);

extern "C" {
// Registers the platform classes; the launcher calls it right after the VM starts.
JNIEXPORT jboolean registerNatives(JNIEnv* env, HMODULE module, NativeErrorFunction error) noexcept;
// Registers the window-border classes, which live in the class loader given.
JNIEXPORT jboolean registerNativesFlatlaf(JNIEnv* env, jobject loader, jclass classClass, jmethodID forName,
                                          HMODULE module, NativeErrorFunction error) noexcept;
}
