// The test VM (tests/doubles/test_vm/jvm.dll beside this program's folder) created in this
// process, so the pipe natives can be called with its JNIEnv.
#pragma once

#include <windows.h>

#include <string>

#include "jni/jni.h"

// The VM's environment for the calling thread; null when jvm.dll could not be loaded or started.
JNIEnv* startTestVm();
// The folder of this program (no trailing backslash).
std::wstring programDirectory();
// Reads exactly size bytes from the pipe with plain ReadFile calls; false when it breaks first.
bool readExactly(HANDLE pipe, void* data, DWORD size);
// Ends the process at once, as a kill from outside would: no handle is closed in an orderly way.
[[noreturn]] void dieNow(UINT code);
