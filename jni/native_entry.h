// The launcher's calls into its own natives: the exported entry points it looks up by name, and
// the error writer it hands them. Both sides name these types from here, and the natives' side
// checks its definitions against them, so the caller and the callee cannot drift apart.
#pragma once

#include "jni/jni.h"

// The module that holds the natives, as Win32 hands it out (an HMODULE: the handle type is a
// pointer to this incomplete struct, so this header needs no windows.h).
struct HINSTANCE__;
using NativeModule = HINSTANCE__*;

// The shape of the native log's error writer (wide printf format).
using NativeErrorFunction = void (*)(const wchar_t* format, ...);

// registerNatives(env, module, error): binds the platform classes; the launcher calls it right
// after the VM starts.
using RegisterNativesFn = jboolean (*)(JNIEnv* env, NativeModule module, NativeErrorFunction error) noexcept;
// An extension registration (registerNativesFlatlaf) that Misc.registerExtensionFunctions0 runs
// for a class loader of the Java side.
using RegisterExtensionFn = jboolean (*)(JNIEnv* env, jobject loader, jclass classClass, jmethodID forName,
                                         NativeModule module, NativeErrorFunction error) noexcept;
