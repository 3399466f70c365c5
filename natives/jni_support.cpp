#include "natives/jni_support.h"

#include <windows.h>

#include "windows/base/wide_text.h"

namespace {

jclass findClass(JNIEnv* env, const char* name) { return findClassQuietly(env, name); }

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

jclass findClassQuietly(JNIEnv* env, const char* name)
{
    jclass found = (*env)->FindClass(env, name);
    if (found == nullptr) (*env)->ExceptionClear(env);
    return found;
}

JavaText::JavaText(JNIEnv* env, jstring text) : null_(text == nullptr)
{
    text_ = javaToWide(env, text);
    // Win32 reads up to the first NUL; keeping the rest would only hide that.
    size_t nul = text_.find(L'\0');
    if (nul != std::wstring::npos) text_.resize(nul);
}

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

std::string javaToNarrow(JNIEnv* env, jstring text) { return wideToNarrow(javaToWide(env, text)); }

ByteElements::ByteElements(JNIEnv* env, jbyteArray array) : env_(env), array_(array)
{
    if (array == nullptr) return;
    length_ = (*env)->GetArrayLength(env, array);
    elements_ = (*env)->GetByteArrayElements(env, array, nullptr);
    if (elements_ == nullptr) clearPendingException(env);
}

ByteElements::~ByteElements()
{
    if (elements_ != nullptr) (*env_)->ReleaseByteArrayElements(env_, array_, elements_, JNI_ABORT);
}

jstring wideToJava(JNIEnv* env, const std::wstring& text)
{
    jstring result = (*env)->NewString(env, reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
    if (clearPendingException(env)) return nullptr;
    return result;
}

jstring narrowToJava(JNIEnv* env, const std::string& text) { return wideToJava(env, narrowToWide(text)); }

namespace {

jobjectArray newStringArray(JNIEnv* env, size_t count)
{
    LocalRef<jclass> stringClass(env, findClassQuietly(env, "java/lang/String"));
    if (!stringClass) return nullptr;
    jobjectArray array = (*env)->NewObjectArray(env, static_cast<jsize>(count), stringClass.get(), nullptr);
    if (array == nullptr) clearPendingException(env);
    return array;
}

}  // namespace

jobjectArray wideArrayToJava(JNIEnv* env, const std::vector<std::wstring>& texts, ArrayElement missing)
{
    // Each string's local reference is dropped once stored, so a list of any length needs only a
    // few local references.
    jobjectArray array = newStringArray(env, texts.size());
    if (array == nullptr) return nullptr;
    jsize stored = 0;
    for (const std::wstring& text : texts) {
        if (setStringElement(env, array, stored, text)) {
            ++stored;
        } else if (missing == ArrayElement::Fail) {
            (*env)->DeleteLocalRef(env, array);
            return nullptr;
        }
    }
    if (static_cast<size_t>(stored) == texts.size()) return array;
    // Some texts were left out: the array Java gets is as long as what was kept.
    LocalRef<jobjectArray> full(env, array);
    jobjectArray kept = newStringArray(env, static_cast<size_t>(stored));
    if (kept == nullptr) return nullptr;
    for (jsize i = 0; i < stored; ++i) {
        LocalRef<jobject> element(env, (*env)->GetObjectArrayElement(env, full.get(), i));
        (*env)->SetObjectArrayElement(env, kept, i, element.get());
    }
    if (clearPendingException(env)) {
        (*env)->DeleteLocalRef(env, kept);
        return nullptr;
    }
    return kept;
}

bool setStringElement(JNIEnv* env, jobjectArray array, jsize index, const std::wstring& text)
{
    LocalRef<jstring> element(env, wideToJava(env, text));
    if (!element) return false;
    (*env)->SetObjectArrayElement(env, array, index, element.get());
    return !clearPendingException(env);
}

std::vector<std::wstring> javaArrayToWide(JNIEnv* env, jobjectArray array, bool* failed, bool* isNull,
                                          std::vector<bool>* nullElement)
{
    std::vector<std::wstring> texts;
    if (failed) *failed = false;
    if (isNull) *isNull = array == nullptr;
    if (nullElement) nullElement->clear();
    if (array == nullptr) return texts;
    jsize length = (*env)->GetArrayLength(env, array);
    for (jsize i = 0; i < length; ++i) {
        LocalRef<jstring> element(env, static_cast<jstring>((*env)->GetObjectArrayElement(env, array, i)));
        if (clearPendingException(env)) {
            if (failed) *failed = true;
            if (nullElement) nullElement->clear();
            return {};
        }
        texts.push_back(javaToWide(env, element.get()));
        if (nullElement) nullElement->push_back(!element);
    }
    return texts;
}

jbyteArray bytesToJava(JNIEnv* env, const void* data, size_t size)
{
    if (size > 0x7FFFFFFF) return nullptr;
    jbyteArray array = (*env)->NewByteArray(env, static_cast<jsize>(size));
    if (array == nullptr) {
        clearPendingException(env);
        return nullptr;
    }
    if (size > 0) (*env)->SetByteArrayRegion(env, array, 0, static_cast<jsize>(size), static_cast<const jbyte*>(data));
    if (clearPendingException(env)) {
        (*env)->DeleteLocalRef(env, array);
        return nullptr;
    }
    return array;
}

std::vector<uint8_t> javaToBytes(JNIEnv* env, jbyteArray array, bool* isNull)
{
    if (isNull) *isNull = array == nullptr;
    if (array == nullptr) return {};
    jsize length = (*env)->GetArrayLength(env, array);
    std::vector<uint8_t> bytes(static_cast<size_t>(length > 0 ? length : 0));
    if (!bytes.empty()) (*env)->GetByteArrayRegion(env, array, 0, length, reinterpret_cast<jbyte*>(bytes.data()));
    if (clearPendingException(env)) return {};
    return bytes;
}

jintArray intsToJava(JNIEnv* env, const std::vector<jint>& values)
{
    jintArray array = (*env)->NewIntArray(env, static_cast<jsize>(values.size()));
    if (array == nullptr) {
        clearPendingException(env);
        return nullptr;
    }
    if (!values.empty()) (*env)->SetIntArrayRegion(env, array, 0, static_cast<jsize>(values.size()), values.data());
    if (clearPendingException(env)) {
        (*env)->DeleteLocalRef(env, array);
        return nullptr;
    }
    return array;
}

std::vector<jint> javaToInts(JNIEnv* env, jintArray array, bool* isNull)
{
    if (isNull) *isNull = array == nullptr;
    if (array == nullptr) return {};
    jsize length = (*env)->GetArrayLength(env, array);
    std::vector<jint> values(static_cast<size_t>(length > 0 ? length : 0));
    if (!values.empty()) (*env)->GetIntArrayRegion(env, array, 0, length, values.data());
    if (clearPendingException(env)) return {};
    return values;
}

bool writeBooleans(JNIEnv* env, jbooleanArray array, const std::vector<bool>& values)
{
    if (array == nullptr) return false;
    jsize length = (*env)->GetArrayLength(env, array);
    for (jsize i = 0; i < length && static_cast<size_t>(i) < values.size(); ++i) {
        jboolean value = values[static_cast<size_t>(i)] ? JNI_TRUE : JNI_FALSE;
        (*env)->SetBooleanArrayRegion(env, array, i, 1, &value);
    }
    return !clearPendingException(env);
}

jobject newObject(JNIEnv* env, jclass objectClass, const char* signature, const jvalue* arguments)
{
    if (objectClass == nullptr) return nullptr;
    jmethodID constructor = (*env)->GetMethodID(env, objectClass, "<init>", signature);
    if (constructor == nullptr) {
        clearPendingException(env);
        return nullptr;
    }
    jobject made = (*env)->NewObjectA(env, objectClass, constructor, arguments);
    if (clearPendingException(env)) return nullptr;
    return made;
}

jobject newObject(JNIEnv* env, const char* className, const char* signature, const jvalue* arguments)
{
    LocalRef<jclass> objectClass(env, findClass(env, className));
    return newObject(env, objectClass.get(), signature, arguments);
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
