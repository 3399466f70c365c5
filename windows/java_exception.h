// Java exceptions met by the launcher's own JNI calls (the VM launch, the command-line listener).
#pragma once

#include "jni/jni.h"

// For a JNI caller: false after logging (and, with describe, printing) and clearing a pending
// Java exception; true when none was pending.
bool reportJavaException(JNIEnv* env, bool describe);
