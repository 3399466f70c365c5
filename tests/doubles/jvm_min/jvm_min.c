/* The smallest jvm.dll: exports JNI_CreateJavaVM, which refuses to create a VM. Enough for the
 * runtime search, which only loads the DLL and looks the function up. */
#include "jni/jni.h"

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* arguments)
{
    (void)arguments;
    if (vm) *vm = 0;
    if (env) *env = 0;
    return JNI_ERR;
}
