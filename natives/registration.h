// Binding the exported natives to their Java classes with RegisterNatives. Every function is found
// by its exported JNI name in the launcher's own module, so the tables hold names only; each row is
// checked against its function's parameters when the table is compiled (descriptor_check.h).
#pragma once

#include <windows.h>

#include <cstddef>

#include "natives/jni.h"

// The shape of the native log's error writer (wide printf format).
typedef void (*NativeErrorFunction)(const wchar_t* format, ...);

// The exported entry points, as looked up by name.
typedef jboolean (*RegisterNativesFn)(JNIEnv* env, HMODULE module, NativeErrorFunction error);
typedef jboolean (*RegisterExtensionFn)(JNIEnv* env, jobject loader, jclass classClass, jmethodID forName,
                                        HMODULE module, NativeErrorFunction error);

// One native method: Java name and JNI signature.
struct NativeMethodName {
    const char* name;
    const char* signature;
};

// One class and its natives in registration order; slash name, or dotted for classes found
// through Class.forName.
struct NativeClass {
    const char* name;
    const NativeMethodName* methods;
    size_t methodCount;
};

// The platform classes (registerNatives) and the window-border classes (registerNativesFlatlaf).
extern const NativeClass kPlatformClasses[];
extern const size_t kPlatformClassCount;
extern const NativeClass kWindowBorderClasses[];
extern const size_t kWindowBorderClassCount;

// How a class of a table is found.
struct ClassFinder {
    jobject loader = nullptr;      // null: FindClass with the slash name
    jclass classClass = nullptr;   // java/lang/Class, with loader
    jmethodID forName = nullptr;   // its static forName(String, boolean, ClassLoader)
};

// Registers the classes in order, stopping at the first one that fails (reported through error);
// true when all were registered.
bool registerClasses(JNIEnv* env, HMODULE module, const NativeClass* classes, size_t count,
                     const ClassFinder& finder, NativeErrorFunction error);

extern "C" {
// Registers the platform classes; the launcher calls it right after the VM starts.
JNIEXPORT jboolean registerNatives(JNIEnv* env, HMODULE module, NativeErrorFunction error) noexcept;
// Registers the window-border classes, which live in the class loader given.
JNIEXPORT jboolean registerNativesFlatlaf(JNIEnv* env, jobject loader, jclass classClass, jmethodID forName,
                                          HMODULE module, NativeErrorFunction error) noexcept;
// Misc.registerExtensionFunctions0: runs the exported registration function named, for the loader.
JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_registerExtensionFunctions0(
    JNIEnv* env, jclass type, jobject loader, jstring functionName) noexcept;
}
