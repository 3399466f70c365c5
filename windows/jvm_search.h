// Finding a Java runtime and loading its jvm.dll into this process.
#pragma once

#include <windows.h>

#include <string>

#include "natives/jni.h"

// The runtime that LoadDLL loaded, recorded for the VM options and the JVM creation.
struct LoadedJvm {
    HMODULE module = nullptr;                  // the loaded jvm.dll
    JniCreateJavaVMFn createJavaVM = nullptr;  // its JNI_CreateJavaVM
    std::string javaExe;                       // the accepted java.exe (narrow)
    std::string home;                          // java.exe's directory with its separator + ".."
    std::string binDirectory;                  // where jvm.dll was loaded from, no trailing separator
    std::string version;                       // the runtime's version text
};

// Runs the search (location null) or tests the given Java home / java.exe; true when jvm.dll is
// loaded and exports JNI_CreateJavaVM. showErrors shows the matching message on failure.
bool LoadDLL(bool showErrors, const char* location, bool isJavaExe);

// What the last successful LoadDLL recorded (empty before).
const LoadedJvm& loadedJvm();
