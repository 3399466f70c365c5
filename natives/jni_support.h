// Conversions every native family shares: Java strings to and from UTF-16 and ANSI text, string,
// byte and int arrays, boxing, result objects and handles. None of them throws into Java: a failed
// JNI call clears its exception and the helper answers empty, null or false.
//
// The natives' rules, decided once here:
// - A null Java string becomes a null pointer (JavaText), which Win32 reads as an absent argument.
// - A String[] made for Java leaves out a text that the VM cannot make into a string
//   (ArrayElement::Skip), unless the family asks for the whole array to fail (ArrayElement::Fail).
// - A String[] read from Java reads null elements as empty texts; an element that cannot be read
//   fails the whole conversion (*failed set, empty result), so no native acts on half a list.
// - Handles cross to Java as 64-bit numbers and come back unchanged.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jni/jni.h"
#include "jni/jni_helpers.h"
#include "natives/guarded.h"

// A Java string as a NUL-terminated wide text for one Win32 call; null stays a null pointer.
// A NUL inside the Java string ends the text as Win32 sees it.
class JavaText {
public:
    JavaText(JNIEnv* env, jstring text);
    // The text, or nullptr when the Java string was null.
    const wchar_t* get() const { return null_ ? nullptr : text_.c_str(); }
    bool isNull() const { return null_; }
    // The characters (empty for null).
    const std::wstring& text() const { return text_; }

private:
    std::wstring text_;
    bool null_;
};

// The elements of a Java byte[] pinned for one call, released without copying back. A null array
// gives no data; elements that cannot be had leave available() false (and no pending exception).
class ByteElements {
public:
    ByteElements(JNIEnv* env, jbyteArray array);
    ~ByteElements();
    ByteElements(const ByteElements&) = delete;
    ByteElements& operator=(const ByteElements&) = delete;
    bool available() const { return array_ == nullptr || elements_ != nullptr; }
    void* data() const { return elements_; }
    DWORD size() const { return elements_ != nullptr ? static_cast<DWORD>(length_) : 0; }

private:
    JNIEnv* env_;
    jbyteArray array_;
    jbyte* elements_ = nullptr;
    jsize length_ = 0;
};

// What a String[] for Java does with a text the VM cannot make into a string.
enum class ArrayElement { Skip, Fail };

// The same converted to the ANSI code page (characters it lacks become its default character).
std::string javaToNarrow(JNIEnv* env, jstring text);
// A new Java string from ANSI text.
jstring narrowToJava(JNIEnv* env, const std::string& text);

// A new String[] holding texts in order; null when the class or array cannot be made (or, with
// ArrayElement::Fail, when one text cannot be made).
jobjectArray wideArrayToJava(JNIEnv* env, const std::vector<std::wstring>& texts,
                             ArrayElement missing = ArrayElement::Skip);
// The elements of a String[] (null elements read as empty; *nullElement, when given, marks them);
// empty for a null array (*isNull set when given); empty with *failed set when an element could
// not be read.
std::vector<std::wstring> javaArrayToWide(JNIEnv* env, jobjectArray array, bool* failed = nullptr,
                                          bool* isNull = nullptr, std::vector<bool>* nullElement = nullptr);

// byte[] both ways: a new array of size bytes (null on failure); the bytes of an array (empty for
// null, *isNull set when given).
jbyteArray bytesToJava(JNIEnv* env, const void* data, size_t size);
std::vector<uint8_t> javaToBytes(JNIEnv* env, jbyteArray array, bool* isNull = nullptr);
// int[] both ways, with the same rules.
jintArray intsToJava(JNIEnv* env, const std::vector<jint>& values);
std::vector<jint> javaToInts(JNIEnv* env, jintArray array, bool* isNull = nullptr);
// boolean[] written back element by element from values (as far as both reach); false on failure.
bool writeBooleans(JNIEnv* env, jbooleanArray array, const std::vector<bool>& values);
// Stores text at index of a String[]; false on failure (exception cleared).
bool setStringElement(JNIEnv* env, jobjectArray array, jsize index, const std::wstring& text);

// A new object of className (or of the class given) made with the constructor of signature and
// the arguments; null when the class, constructor or object cannot be made.
jobject newObject(JNIEnv* env, const char* className, const char* signature, const jvalue* arguments);
jobject newObject(JNIEnv* env, jclass objectClass, const char* signature, const jvalue* arguments);

// Handles and pointers as the 64-bit numbers Java keeps, and back.
inline jlong handleToJava(const void* handle) { return static_cast<jlong>(reinterpret_cast<intptr_t>(handle)); }
template <typename Handle = HANDLE>
Handle javaToHandle(jlong value)
{
    return reinterpret_cast<Handle>(static_cast<intptr_t>(value));
}

// Boxed values (Integer.valueOf, Long.valueOf, Boolean.valueOf); null on failure.
jobject boxInteger(JNIEnv* env, jint value);
jobject boxLong(JNIEnv* env, jlong value);
jobject boxBoolean(JNIEnv* env, bool value);
// Reads a boxed Integer or Long; false (value untouched) when object is null or of another class.
bool unboxInteger(JNIEnv* env, jobject object, jint& value);
bool unboxLong(JNIEnv* env, jobject object, jlong& value);
