#include "jni/jni_helpers.h"

// UTF-16 on both sides: a Java char is one wide character of the launcher.
static_assert(sizeof(wchar_t) == sizeof(jchar), "wide text is UTF-16");

bool clearPendingException(JNIEnv* env)
{
    if (!(*env)->ExceptionCheck(env)) return false;
    (*env)->ExceptionClear(env);
    return true;
}

jclass findClassQuietly(JNIEnv* env, const char* name)
{
    jclass found = (*env)->FindClass(env, name);
    if (found == nullptr) clearPendingException(env);
    return found;
}

jmethodID staticMethodQuietly(JNIEnv* env, jclass owner, const char* name, const char* signature)
{
    jmethodID method = (*env)->GetStaticMethodID(env, owner, name, signature);
    if (method == nullptr) clearPendingException(env);
    return method;
}

std::wstring javaToWide(JNIEnv* env, jstring text, bool* isNull)
{
    if (isNull) *isNull = text == nullptr;
    if (text == nullptr) return {};
    jsize length = (*env)->GetStringLength(env, text);
    std::wstring result(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) (*env)->GetStringRegion(env, text, 0, length, reinterpret_cast<jchar*>(result.data()));
    if (clearPendingException(env)) return {};
    return result;
}

jstring wideToJava(JNIEnv* env, const std::wstring& text)
{
    jstring result = (*env)->NewString(env, reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
    if (clearPendingException(env)) return nullptr;
    return result;
}
