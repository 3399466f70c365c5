// Finding a Java runtime and loading its jvm.dll into this process.
#pragma once

#include <windows.h>

#include <string>

#include "jni/jni.h"

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

// How a runtime was found; selects the message shown when its jvm.dll does not load.
enum FoundKind : int {
    kFoundNothing = 0,
    kFoundOnSearchPath = 1,
    kFoundAtLocation = 2,     // a directory of the search list or a runtime-location file
    kFoundThroughVariable = 3,
    kFoundInRegistry = 4,     // registry runtimes and earlier installations
};

// The outcome of searchJvm: the loaded module (null when none loaded), the kind and location of
// the last accepted candidate, and the java.exe and version of the loaded one.
struct SearchResult {
    HMODULE module = nullptr;
    int foundKind = kFoundNothing;
    std::string foundLocation;
    std::string javaExe;
    std::string version;
};

// The search sequence over the configured sources; ends at the first candidate whose jvm.dll loads.
SearchResult searchJvm();

// Whether the Java home directory (relative to the launcher's directory unless absolute) holds an
// acceptable java.exe; a trusted location is always accepted. javaExe and version receive the candidate.
bool testLocation(const std::string& directory, bool betaAllowed, bool trusted, std::string& javaExe,
                  std::string& version);

// The java.exe of a Java home: "jre\bin\java.exe", or "bin\java.exe" when that does not exist;
// with config key 131 found only when "lib\tools.jar" exists. Returns whether it counts as found.
bool locateJavaExe(const std::string& home, std::string& javaExe);

// Loads jvm.dll for a java.exe (retrying through "..\jre\bin\java.exe"); null when none loads.
HMODULE loadJvmDll(const std::string& javaExe);

// Records the chosen runtime: JVM home (also for variable expansion) and version.
void recordJvm(const std::string& javaExe, const std::string& version);
