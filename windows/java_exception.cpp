#include "windows/java_exception.h"

#include <string>

#include "windows/native_log.h"

bool reportJavaException(JNIEnv* env, bool describe)
{
    if (!(*env)->ExceptionCheck(env)) return true;
    logError(L"an exception occurred");
    jthrowable exception = (*env)->ExceptionOccurred(env);
    // toString runs with the exception cleared, then the exception is put back for Describe.
    (*env)->ExceptionClear(env);
    // toString is looked up on Throwable: a String method ID must not be called on another class.
    jclass stringClass = exception ? (*env)->FindClass(env, "java/lang/Throwable") : nullptr;
    jmethodID toString = stringClass ? (*env)->GetMethodID(env, stringClass, "toString", "()Ljava/lang/String;") : nullptr;
    jstring text = toString ? static_cast<jstring>((*env)->CallObjectMethod(env, exception, toString)) : nullptr;
    if ((*env)->ExceptionCheck(env)) {
        (*env)->ExceptionClear(env);
        text = nullptr;
    }
    if (text != nullptr) {
        const jchar* characters = (*env)->GetStringChars(env, text, nullptr);
        if (characters != nullptr) {
            jsize length = (*env)->GetStringLength(env, text);
            std::wstring wide(reinterpret_cast<const wchar_t*>(characters), static_cast<size_t>(length));
            logError(L"%s", wide.c_str());
            (*env)->ReleaseStringChars(env, text, characters);
        }
    }
    if (exception != nullptr) (*env)->Throw(env, exception);
    if (describe) (*env)->ExceptionDescribe(env);
    (*env)->ExceptionClear(env);
    return false;
}
