// Finding a Java runtime and loading its jvm.dll into this process: the search sequence and its
// report. The candidates and their account (jvm_candidates), the sources (jvm_sources) and the
// loading (jvm_loading) are its parts.
#pragma once

#include <windows.h>

#include <string>

#include "jni/jni.h"
#include "windows/jvm_candidates.h"
#include "windows/jvm_loading.h"

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

// The search sequence over the configured sources; ends at the first candidate whose jvm.dll loads.
SearchResult searchJvm();

// How testLocation treats a Java home.
struct LocationRules {
    bool betaAllowed = false;  // an early-access build passes
    bool trusted = false;      // accepted whatever its check says; checked without the cache
};

// Whether the Java home directory (relative to the launcher's directory unless absolute) holds an
// acceptable java.exe; a trusted location is always accepted. javaExe and version receive the candidate.
bool testLocation(const std::string& directory, LocationRules rules, std::string& javaExe, std::string& version);

// Records the chosen runtime: JVM home (also for variable expansion) and version.
void recordJvm(const std::string& javaExe, const std::string& version);
