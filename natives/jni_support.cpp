#include "natives/jni_support.h"

#include <windows.h>

#include "windows/base/wide_text.h"

namespace {

// Calls the static valueOf(primitive) of a box class.
jobject box(JNIEnv* env, const char* className, const char* signature, const jvalue& value)
{
    LocalRef<jclass> boxClass(env, findClassQuietly(env, className));
    if (!boxClass) return nullptr;
    jobject result = nullptr;
    jmethodID valueOf = (*env)->GetStaticMethodID(env, boxClass.get(), "valueOf", signature);
    if (valueOf != nullptr) result = (*env)->CallStaticObjectMethodA(env, boxClass.get(), valueOf, &value);
    if (clearPendingException(env)) result = nullptr;
    return result;
}

// The class of className when object is an instance of it, for method lookups; empty otherwise.
LocalRef<jclass> instanceClass(JNIEnv* env, jobject object, const char* className)
{
    LocalRef<jclass> boxClass(env, object != nullptr ? findClassQuietly(env, className) : nullptr);
    if (boxClass && !(*env)->IsInstanceOf(env, object, boxClass.get())) boxClass.reset();
    return boxClass;
}

}  // namespace

JavaText::JavaText(JNIEnv* env, jstring text) : null_(text == nullptr)
{
    text_ = javaToWide(env, text);
    // Win32 reads up to the first NUL; keeping the rest would only hide that.
    size_t nul = text_.find(L'\0');
    if (nul != std::wstring::npos) text_.resize(nul);
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
    LocalRef<jobjectArray> array(env, newStringArray(env, texts.size()));
    if (!array) return nullptr;
    jsize stored = 0;
    for (const std::wstring& text : texts) {
        if (setStringElement(env, array.get(), stored, text))
            ++stored;
        else if (missing == ArrayElement::Fail)
            return nullptr;
    }
    if (static_cast<size_t>(stored) == texts.size()) return array.release();
    // Some texts were left out: the array Java gets is as long as what was kept.
    LocalRef<jobjectArray> kept(env, newStringArray(env, static_cast<size_t>(stored)));
    if (!kept) return nullptr;
    for (jsize i = 0; i < stored; ++i) {
        LocalRef<jobject> element(env, (*env)->GetObjectArrayElement(env, array.get(), i));
        (*env)->SetObjectArrayElement(env, kept.get(), i, element.get());
    }
    if (clearPendingException(env)) return nullptr;
    return kept.release();
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
    LocalRef<jbyteArray> array(env, (*env)->NewByteArray(env, static_cast<jsize>(size)));
    if (!array) {
        clearPendingException(env);
        return nullptr;
    }
    if (size > 0) (*env)->SetByteArrayRegion(env, array.get(), 0, static_cast<jsize>(size), static_cast<const jbyte*>(data));
    if (clearPendingException(env)) return nullptr;
    return array.release();
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
    LocalRef<jintArray> array(env, (*env)->NewIntArray(env, static_cast<jsize>(values.size())));
    if (!array) {
        clearPendingException(env);
        return nullptr;
    }
    if (!values.empty()) (*env)->SetIntArrayRegion(env, array.get(), 0, static_cast<jsize>(values.size()), values.data());
    if (clearPendingException(env)) return nullptr;
    return array.release();
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
    LocalRef<jclass> objectClass(env, findClassQuietly(env, className));
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
    LocalRef<jclass> boxClass = instanceClass(env, object, "java/lang/Integer");
    if (!boxClass) return false;
    jmethodID intValue = (*env)->GetMethodID(env, boxClass.get(), "intValue", "()I");
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
    LocalRef<jclass> boxClass = instanceClass(env, object, "java/lang/Long");
    if (!boxClass) return false;
    jmethodID longValue = (*env)->GetMethodID(env, boxClass.get(), "longValue", "()J");
    if (longValue == nullptr) {
        clearPendingException(env);
        return false;
    }
    jlong read = (*env)->CallLongMethodA(env, object, longValue, nullptr);
    if (clearPendingException(env)) return false;
    value = read;
    return true;
}
