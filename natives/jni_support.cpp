#include "natives/jni_support.h"

#include <windows.h>

namespace {

jclass findClass(JNIEnv* env, const char* name)
{
    jclass found = (*env)->FindClass(env, name);
    if (found == nullptr) (*env)->ExceptionClear(env);
    return found;
}

// Calls the static valueOf(primitive) of a box class.
jobject box(JNIEnv* env, const char* className, const char* signature, const jvalue& value)
{
    jclass boxClass = findClass(env, className);
    if (boxClass == nullptr) return nullptr;
    jobject result = nullptr;
    jmethodID valueOf = (*env)->GetStaticMethodID(env, boxClass, "valueOf", signature);
    if (valueOf != nullptr) result = (*env)->CallStaticObjectMethodA(env, boxClass, valueOf, &value);
    if (clearPendingException(env)) result = nullptr;
    (*env)->DeleteLocalRef(env, boxClass);
    return result;
}

// Whether object is an instance of className; the class reference is returned for method lookups.
jclass instanceClass(JNIEnv* env, jobject object, const char* className)
{
    if (object == nullptr) return nullptr;
    jclass boxClass = findClass(env, className);
    if (boxClass == nullptr) return nullptr;
    if (!(*env)->IsInstanceOf(env, object, boxClass)) {
        (*env)->DeleteLocalRef(env, boxClass);
        return nullptr;
    }
    return boxClass;
}

}  // namespace

bool clearPendingException(JNIEnv* env)
{
    if (!(*env)->ExceptionCheck(env)) return false;
    (*env)->ExceptionClear(env);
    return true;
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

std::string javaToNarrow(JNIEnv* env, jstring text)
{
    std::wstring wide = javaToWide(env, text);
    if (wide.empty()) return {};
    int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

jstring wideToJava(JNIEnv* env, const std::wstring& text)
{
    jstring result = (*env)->NewString(env, reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
    if (clearPendingException(env)) return nullptr;
    return result;
}

jstring narrowToJava(JNIEnv* env, const std::string& text)
{
    std::wstring wide;
    if (!text.empty()) {
        int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        if (length > 0) {
            wide.resize(static_cast<size_t>(length));
            ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
        }
    }
    return wideToJava(env, wide);
}

jobjectArray wideArrayToJava(JNIEnv* env, const std::vector<std::wstring>& texts)
{
    jclass stringClass = findClass(env, "java/lang/String");
    if (stringClass == nullptr) return nullptr;
    jobjectArray array = (*env)->NewObjectArray(env, static_cast<jsize>(texts.size()), stringClass, nullptr);
    (*env)->DeleteLocalRef(env, stringClass);
    if (array == nullptr) {
        clearPendingException(env);
        return nullptr;
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        jstring element = wideToJava(env, texts[i]);
        if (element == nullptr) {
            (*env)->DeleteLocalRef(env, array);
            return nullptr;
        }
        (*env)->SetObjectArrayElement(env, array, static_cast<jsize>(i), element);
        (*env)->DeleteLocalRef(env, element);
    }
    return array;
}

std::vector<std::wstring> javaArrayToWide(JNIEnv* env, jobjectArray array)
{
    std::vector<std::wstring> texts;
    if (array == nullptr) return texts;
    jsize length = (*env)->GetArrayLength(env, array);
    for (jsize i = 0; i < length; ++i) {
        jstring element = static_cast<jstring>((*env)->GetObjectArrayElement(env, array, i));
        if (clearPendingException(env)) break;
        texts.push_back(javaToWide(env, element));
        if (element != nullptr) (*env)->DeleteLocalRef(env, element);
    }
    return texts;
}

jobject boxInteger(JNIEnv* env, jint value)
{
    jvalue argument;
    argument.i = value;
    return box(env, "java/lang/Integer", "(I)Ljava/lang/Integer;", argument);
}

jobject boxLong(JNIEnv* env, jlong value)
{
    jvalue argument;
    argument.j = value;
    return box(env, "java/lang/Long", "(J)Ljava/lang/Long;", argument);
}

jobject boxBoolean(JNIEnv* env, bool value)
{
    jvalue argument;
    argument.z = value ? JNI_TRUE : JNI_FALSE;
    return box(env, "java/lang/Boolean", "(Z)Ljava/lang/Boolean;", argument);
}

bool unboxInteger(JNIEnv* env, jobject object, jint& value)
{
    jclass boxClass = instanceClass(env, object, "java/lang/Integer");
    if (boxClass == nullptr) return false;
    jmethodID intValue = (*env)->GetMethodID(env, boxClass, "intValue", "()I");
    (*env)->DeleteLocalRef(env, boxClass);
    if (intValue == nullptr) {
        clearPendingException(env);
        return false;
    }
    jint read = (*env)->CallIntMethodA(env, object, intValue, nullptr);
    if (clearPendingException(env)) return false;
    value = read;
    return true;
}

bool unboxLong(JNIEnv* env, jobject object, jlong& value)
{
    jclass boxClass = instanceClass(env, object, "java/lang/Long");
    if (boxClass == nullptr) return false;
    jmethodID longValue = (*env)->GetMethodID(env, boxClass, "longValue", "()J");
    (*env)->DeleteLocalRef(env, boxClass);
    if (longValue == nullptr) {
        clearPendingException(env);
        return false;
    }
    jlong read = (*env)->CallLongMethodA(env, object, longValue, nullptr);
    if (clearPendingException(env)) return false;
    value = read;
    return true;
}
