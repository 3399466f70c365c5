// Starting the Java program in this process: the VM thread, JNI_CreateJavaVM, the hand-over of
// the launcher's settings to Java, native registration and the call of main.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jni/jni.h"
#include "windows/jvm_search.h"
#include "windows/vm_options.h"

// What the VM thread works from; owned by it while it runs.
struct LaunchRecord {
    std::vector<std::wstring> arguments;  // the command line, element 0 the program
    VmOptions* vmOptions = nullptr;       // stays allocated for the process (the VM keeps pointers)
    LoadedJvm jvm;
    bool destroyAfterMain = true;
    bool showSplash = false;
    int splashValue = 0;
};

// Builds the options and runs the VM on a thread sized by "-Xss" (on this thread when none can
// be created); true when main ran and returned without an exception.
bool launchProgram(const std::vector<std::wstring>& arguments, const LoadedJvm& jvm, bool destroyAfterMain,
                   bool showSplash, int splashValue);

// The work flow's launch step: the VM for the process's full command line, destroyed after main,
// without splash. A launch that fails ends the process with message 1005.
void runLaunchStep();

// The VM thread's body: create the VM, hand settings to Java, call main, destroy the VM.
bool runVm(LaunchRecord& record);

// Calls the launcher class's static main; false when it threw (logged). A missing class or main
// method ends the process (messages 1010, 1011).
bool invokeMain(const LaunchRecord& record, JNIEnv* env);

// The argument array of main.
std::vector<std::wstring> buildMainArguments(const LaunchRecord& record);

// Runs body(context) on a new thread reserving stackSize bytes of stack (0: the default), or on
// the calling thread when no thread can be created; returns body's result.
bool runOnVmThread(uint64_t stackSize, bool (*body)(void*), void* context);

// Calls Common.initFromLauncher(value); false (logged) when the class or method is missing.
bool initFromLauncher(JNIEnv* env, bool value);

// The VM of this process once created: other threads test vmRunning before touching it.
bool vmRunning();
JavaVM* runningJavaVm();
