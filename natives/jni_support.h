// Conversions every native family shares: Java strings to and from UTF-16 and ANSI text, string
// arrays, and boxing. None of them throws into Java: a failed JNI call clears its exception and
// the helper answers empty, null or false.
#pragma once

#include <string>
#include <vector>

#include "natives/jni.h"

// The characters of a Java string; empty for null (and *isNull set when given).
std::wstring javaToWide(JNIEnv* env, jstring text, bool* isNull = nullptr);
// The same converted to the ANSI code page (characters it lacks become its default character).
std::string javaToNarrow(JNIEnv* env, jstring text);
// A new Java string; null when the VM could not make one.
jstring wideToJava(JNIEnv* env, const std::wstring& text);
// A new Java string from ANSI text.
jstring narrowToJava(JNIEnv* env, const std::string& text);

// A new String[] holding texts; null on failure.
jobjectArray wideArrayToJava(JNIEnv* env, const std::vector<std::wstring>& texts);
// The elements of a String[] (null elements read as empty); empty for a null array.
std::vector<std::wstring> javaArrayToWide(JNIEnv* env, jobjectArray array);

// Boxed values (Integer.valueOf, Long.valueOf, Boolean.valueOf); null on failure.
jobject boxInteger(JNIEnv* env, jint value);
jobject boxLong(JNIEnv* env, jlong value);
jobject boxBoolean(JNIEnv* env, bool value);
// Reads a boxed Integer or Long; false (value untouched) when object is null or of another class.
bool unboxInteger(JNIEnv* env, jobject object, jint& value);
bool unboxLong(JNIEnv* env, jobject object, jlong& value);

// True when an exception was pending; it is cleared.
bool clearPendingException(JNIEnv* env);
