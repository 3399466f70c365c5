#include "windows/java_exception.h"

#include <string>

#include "jni/jni_helpers.h"
#include "windows/native_log.h"

bool reportJavaException(JNIEnv* env, bool describe)
{
    if (!(*env)->ExceptionCheck(env)) return true;
    logError(L"an exception occurred");
    LocalRef<jthrowable> exception(env, (*env)->ExceptionOccurred(env));
    // toString runs with the exception cleared, then the exception is put back for Describe.
    (*env)->ExceptionClear(env);
    // toString is looked up on Throwable: a String method ID must not be called on another class.
    LocalRef<jclass> throwableClass(env, exception ? findClassQuietly(env, "java/lang/Throwable") : nullptr);
    jmethodID toString =
        throwableClass ? (*env)->GetMethodID(env, throwableClass.get(), "toString", "()Ljava/lang/String;") : nullptr;
    LocalRef<jstring> text(env, toString ? static_cast<jstring>((*env)->CallObjectMethod(env, exception.get(), toString))
                                         : nullptr);
    if (clearPendingException(env)) text.reset();
    if (text) logError(L"%s", javaToWide(env, text.get()).c_str());
    if (exception) (*env)->Throw(env, exception.get());
    if (describe) (*env)->ExceptionDescribe(env);
    (*env)->ExceptionClear(env);
    return false;
}
