// The Java Native Interface as this project uses it: the primitive and reference types, the
// JNIEnv function table, the invocation interface and the entry points of jvm.dll.
//
// Both tables are plain C structs of function pointers (no C++ member wrappers): the launcher
// calls through tables that jvm.dll fills, and the test VM fills tables of its own. Every slot's
// position is part of the binary interface, so slots are never reordered or removed; a table is
// read through `(*env)->FindClass(env, ...)`.
//
// Usable from C and C++.
#ifndef LAUNCHER_JNI_JNI_H
#define LAUNCHER_JNI_JNI_H

#include <stdarg.h>
#include <stdint.h>

#if defined(_WIN32)
#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#else
#define JNIEXPORT __attribute__((visibility("default")))
#define JNIIMPORT
#endif

// 32-bit Windows runtimes call natives and export their entry points with __stdcall; x64 has a
// single calling convention. Variadic slots are caller-cleans whatever they say, but GCC keeps the
// attribute in the pointer's type, so functions placed in them are declared JNICALL as well.
#if defined(_WIN32) && !defined(_WIN64)
#define JNICALL __stdcall
#else
#define JNICALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Primitive types, fixed in width on every platform.
typedef uint8_t jboolean;
typedef int8_t jbyte;
typedef uint16_t jchar;  // one UTF-16 unit, laid out as char16_t and WCHAR
typedef int16_t jshort;
typedef int32_t jint;
typedef int64_t jlong;
typedef float jfloat;
typedef double jdouble;
typedef jint jsize;

// Reference types. The VM hands out opaque handles; the array and class kinds are documentary
// aliases of one handle type, as in the C binding.
struct JniOpaqueObject;
typedef struct JniOpaqueObject* jobject;
typedef jobject jclass;
typedef jobject jthrowable;
typedef jobject jstring;
typedef jobject jarray;
typedef jarray jbooleanArray;
typedef jarray jbyteArray;
typedef jarray jcharArray;
typedef jarray jshortArray;
typedef jarray jintArray;
typedef jarray jlongArray;
typedef jarray jfloatArray;
typedef jarray jdoubleArray;
typedef jarray jobjectArray;
typedef jobject jweak;

// Field and method identifiers: opaque, valid while their class is loaded.
struct JniOpaqueField;
typedef struct JniOpaqueField* jfieldID;
struct JniOpaqueMethod;
typedef struct JniOpaqueMethod* jmethodID;

// One argument of the A-variant calls.
typedef union jvalue {
    jboolean z;
    jbyte b;
    jchar c;
    jshort s;
    jint i;
    jlong j;
    jfloat f;
    jdouble d;
    jobject l;
} jvalue;

// What GetObjectRefType reports.
typedef enum jobjectRefType {
    JNIInvalidRefType = 0,
    JNILocalRefType = 1,
    JNIGlobalRefType = 2,
    JNIWeakGlobalRefType = 3
} jobjectRefType;

#define JNI_FALSE 0
#define JNI_TRUE 1

// Results of the invocation functions and of GetEnv.
#define JNI_OK 0
#define JNI_ERR (-1)
#define JNI_EDETACHED (-2)
#define JNI_EVERSION (-3)
#define JNI_ENOMEM (-4)
#define JNI_EEXIST (-5)
#define JNI_EINVAL (-6)

// Release modes of the array element functions.
#define JNI_COMMIT 1
#define JNI_ABORT 2

// Interface versions: the major number in the high 16 bits.
#define JNI_VERSION_1_1 0x00010001
#define JNI_VERSION_1_2 0x00010002
#define JNI_VERSION_1_4 0x00010004
#define JNI_VERSION_1_6 0x00010006
#define JNI_VERSION_1_8 0x00010008
#define JNI_VERSION_9 0x00090000
#define JNI_VERSION_10 0x000a0000
#define JNI_VERSION_19 0x00130000
#define JNI_VERSION_20 0x00140000
#define JNI_VERSION_21 0x00150000

// One entry of a RegisterNatives table: Java name, JNI signature, function.
typedef struct JNINativeMethod {
    char* name;
    char* signature;
    void* fnPtr;
} JNINativeMethod;

struct JNINativeInterface_;
struct JNIInvokeInterface_;

// A thread's interface pointer points at one of these pointers; so do the VM's.
typedef const struct JNINativeInterface_* JNIEnv;
typedef const struct JNIInvokeInterface_* JavaVM;

// The per-thread function table, slot for slot.
struct JNINativeInterface_ {
    // 0-3: reserved; the first three keep room for a COM-style header.
    void* reserved0;
    void* reserved1;
    void* reserved2;
    void* reserved3;

    // 4: Version.
    jint (JNICALL* GetVersion)(JNIEnv* env);

    // 5: Classes.
    jclass (JNICALL* DefineClass)(JNIEnv* env, const char* name, jobject loader, const jbyte* buf, jsize len);
    jclass (JNICALL* FindClass)(JNIEnv* env, const char* name);
    jmethodID (JNICALL* FromReflectedMethod)(JNIEnv* env, jobject method);
    jfieldID (JNICALL* FromReflectedField)(JNIEnv* env, jobject field);
    jobject (JNICALL* ToReflectedMethod)(JNIEnv* env, jclass cls, jmethodID methodID, jboolean isStatic);
    jclass (JNICALL* GetSuperclass)(JNIEnv* env, jclass sub);
    jboolean (JNICALL* IsAssignableFrom)(JNIEnv* env, jclass sub, jclass sup);
    jobject (JNICALL* ToReflectedField)(JNIEnv* env, jclass cls, jfieldID fieldID, jboolean isStatic);

    // 13: Exceptions.
    jint (JNICALL* Throw)(JNIEnv* env, jthrowable obj);
    jint (JNICALL* ThrowNew)(JNIEnv* env, jclass clazz, const char* message);
    jthrowable (JNICALL* ExceptionOccurred)(JNIEnv* env);
    void (JNICALL* ExceptionDescribe)(JNIEnv* env);
    void (JNICALL* ExceptionClear)(JNIEnv* env);
    void (JNICALL* FatalError)(JNIEnv* env, const char* message);

    // 19: References.
    jint (JNICALL* PushLocalFrame)(JNIEnv* env, jint capacity);
    jobject (JNICALL* PopLocalFrame)(JNIEnv* env, jobject result);
    jobject (JNICALL* NewGlobalRef)(JNIEnv* env, jobject obj);
    void (JNICALL* DeleteGlobalRef)(JNIEnv* env, jobject globalRef);
    void (JNICALL* DeleteLocalRef)(JNIEnv* env, jobject localRef);
    jboolean (JNICALL* IsSameObject)(JNIEnv* env, jobject ref1, jobject ref2);
    jobject (JNICALL* NewLocalRef)(JNIEnv* env, jobject ref);
    jint (JNICALL* EnsureLocalCapacity)(JNIEnv* env, jint capacity);

    // 27: Objects.
    jobject (JNICALL* AllocObject)(JNIEnv* env, jclass clazz);
    jobject (JNICALL* NewObject)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jobject (JNICALL* NewObjectV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jobject (JNICALL* NewObjectA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jclass (JNICALL* GetObjectClass)(JNIEnv* env, jobject obj);
    jboolean (JNICALL* IsInstanceOf)(JNIEnv* env, jobject obj, jclass clazz);

    // 33: Instance methods.
    jmethodID (JNICALL* GetMethodID)(JNIEnv* env, jclass clazz, const char* name, const char* sig);
    jobject (JNICALL* CallObjectMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jobject (JNICALL* CallObjectMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jobject (JNICALL* CallObjectMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jboolean (JNICALL* CallBooleanMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jboolean (JNICALL* CallBooleanMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jboolean (JNICALL* CallBooleanMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jbyte (JNICALL* CallByteMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jbyte (JNICALL* CallByteMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jbyte (JNICALL* CallByteMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jchar (JNICALL* CallCharMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jchar (JNICALL* CallCharMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jchar (JNICALL* CallCharMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jshort (JNICALL* CallShortMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jshort (JNICALL* CallShortMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jshort (JNICALL* CallShortMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jint (JNICALL* CallIntMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jint (JNICALL* CallIntMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jint (JNICALL* CallIntMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jlong (JNICALL* CallLongMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jlong (JNICALL* CallLongMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jlong (JNICALL* CallLongMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jfloat (JNICALL* CallFloatMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jfloat (JNICALL* CallFloatMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jfloat (JNICALL* CallFloatMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jdouble (JNICALL* CallDoubleMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    jdouble (JNICALL* CallDoubleMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    jdouble (JNICALL* CallDoubleMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    void (JNICALL* CallVoidMethod)(JNIEnv* env, jobject obj, jmethodID methodID, ...);
    void (JNICALL* CallVoidMethodV)(JNIEnv* env, jobject obj, jmethodID methodID, va_list args);
    void (JNICALL* CallVoidMethodA)(JNIEnv* env, jobject obj, jmethodID methodID, const jvalue* args);
    jobject (JNICALL* CallNonvirtualObjectMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jobject (JNICALL* CallNonvirtualObjectMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jobject (JNICALL* CallNonvirtualObjectMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jboolean (JNICALL* CallNonvirtualBooleanMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jboolean (JNICALL* CallNonvirtualBooleanMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jboolean (JNICALL* CallNonvirtualBooleanMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jbyte (JNICALL* CallNonvirtualByteMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jbyte (JNICALL* CallNonvirtualByteMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jbyte (JNICALL* CallNonvirtualByteMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jchar (JNICALL* CallNonvirtualCharMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jchar (JNICALL* CallNonvirtualCharMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jchar (JNICALL* CallNonvirtualCharMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jshort (JNICALL* CallNonvirtualShortMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jshort (JNICALL* CallNonvirtualShortMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jshort (JNICALL* CallNonvirtualShortMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jint (JNICALL* CallNonvirtualIntMethod)(JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jint (JNICALL* CallNonvirtualIntMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jint (JNICALL* CallNonvirtualIntMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jlong (JNICALL* CallNonvirtualLongMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jlong (JNICALL* CallNonvirtualLongMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jlong (JNICALL* CallNonvirtualLongMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jfloat (JNICALL* CallNonvirtualFloatMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jfloat (JNICALL* CallNonvirtualFloatMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jfloat (JNICALL* CallNonvirtualFloatMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    jdouble (JNICALL* CallNonvirtualDoubleMethod)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    jdouble (JNICALL* CallNonvirtualDoubleMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    jdouble (JNICALL* CallNonvirtualDoubleMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);
    void (JNICALL* CallNonvirtualVoidMethod)(JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, ...);
    void (JNICALL* CallNonvirtualVoidMethodV)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, va_list args);
    void (JNICALL* CallNonvirtualVoidMethodA)(
        JNIEnv* env, jobject obj, jclass clazz, jmethodID methodID, const jvalue* args);

    // 94: Instance fields.
    jfieldID (JNICALL* GetFieldID)(JNIEnv* env, jclass clazz, const char* name, const char* sig);
    jobject (JNICALL* GetObjectField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jboolean (JNICALL* GetBooleanField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jbyte (JNICALL* GetByteField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jchar (JNICALL* GetCharField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jshort (JNICALL* GetShortField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jint (JNICALL* GetIntField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jlong (JNICALL* GetLongField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jfloat (JNICALL* GetFloatField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    jdouble (JNICALL* GetDoubleField)(JNIEnv* env, jobject obj, jfieldID fieldID);
    void (JNICALL* SetObjectField)(JNIEnv* env, jobject obj, jfieldID fieldID, jobject value);
    void (JNICALL* SetBooleanField)(JNIEnv* env, jobject obj, jfieldID fieldID, jboolean value);
    void (JNICALL* SetByteField)(JNIEnv* env, jobject obj, jfieldID fieldID, jbyte value);
    void (JNICALL* SetCharField)(JNIEnv* env, jobject obj, jfieldID fieldID, jchar value);
    void (JNICALL* SetShortField)(JNIEnv* env, jobject obj, jfieldID fieldID, jshort value);
    void (JNICALL* SetIntField)(JNIEnv* env, jobject obj, jfieldID fieldID, jint value);
    void (JNICALL* SetLongField)(JNIEnv* env, jobject obj, jfieldID fieldID, jlong value);
    void (JNICALL* SetFloatField)(JNIEnv* env, jobject obj, jfieldID fieldID, jfloat value);
    void (JNICALL* SetDoubleField)(JNIEnv* env, jobject obj, jfieldID fieldID, jdouble value);

    // 113: Static methods.
    jmethodID (JNICALL* GetStaticMethodID)(JNIEnv* env, jclass clazz, const char* name, const char* sig);
    jobject (JNICALL* CallStaticObjectMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jobject (JNICALL* CallStaticObjectMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jobject (JNICALL* CallStaticObjectMethodA)(
        JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jboolean (JNICALL* CallStaticBooleanMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jboolean (JNICALL* CallStaticBooleanMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jboolean (JNICALL* CallStaticBooleanMethodA)(
        JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jbyte (JNICALL* CallStaticByteMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jbyte (JNICALL* CallStaticByteMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jbyte (JNICALL* CallStaticByteMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jchar (JNICALL* CallStaticCharMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jchar (JNICALL* CallStaticCharMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jchar (JNICALL* CallStaticCharMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jshort (JNICALL* CallStaticShortMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jshort (JNICALL* CallStaticShortMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jshort (JNICALL* CallStaticShortMethodA)(
        JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jint (JNICALL* CallStaticIntMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jint (JNICALL* CallStaticIntMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jint (JNICALL* CallStaticIntMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jlong (JNICALL* CallStaticLongMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jlong (JNICALL* CallStaticLongMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jlong (JNICALL* CallStaticLongMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jfloat (JNICALL* CallStaticFloatMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jfloat (JNICALL* CallStaticFloatMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jfloat (JNICALL* CallStaticFloatMethodA)(
        JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    jdouble (JNICALL* CallStaticDoubleMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    jdouble (JNICALL* CallStaticDoubleMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    jdouble (JNICALL* CallStaticDoubleMethodA)(
        JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
    void (JNICALL* CallStaticVoidMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
    void (JNICALL* CallStaticVoidMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
    void (JNICALL* CallStaticVoidMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);

    // 144: Static fields.
    jfieldID (JNICALL* GetStaticFieldID)(JNIEnv* env, jclass clazz, const char* name, const char* sig);
    jobject (JNICALL* GetStaticObjectField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jboolean (JNICALL* GetStaticBooleanField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jbyte (JNICALL* GetStaticByteField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jchar (JNICALL* GetStaticCharField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jshort (JNICALL* GetStaticShortField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jint (JNICALL* GetStaticIntField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jlong (JNICALL* GetStaticLongField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jfloat (JNICALL* GetStaticFloatField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    jdouble (JNICALL* GetStaticDoubleField)(JNIEnv* env, jclass clazz, jfieldID fieldID);
    void (JNICALL* SetStaticObjectField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jobject value);
    void (JNICALL* SetStaticBooleanField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jboolean value);
    void (JNICALL* SetStaticByteField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jbyte value);
    void (JNICALL* SetStaticCharField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jchar value);
    void (JNICALL* SetStaticShortField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jshort value);
    void (JNICALL* SetStaticIntField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jint value);
    void (JNICALL* SetStaticLongField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jlong value);
    void (JNICALL* SetStaticFloatField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jfloat value);
    void (JNICALL* SetStaticDoubleField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jdouble value);

    // 163: Strings.
    jstring (JNICALL* NewString)(JNIEnv* env, const jchar* unicodeChars, jsize len);
    jsize (JNICALL* GetStringLength)(JNIEnv* env, jstring string);
    const jchar* (JNICALL* GetStringChars)(JNIEnv* env, jstring string, jboolean* isCopy);
    void (JNICALL* ReleaseStringChars)(JNIEnv* env, jstring string, const jchar* chars);
    jstring (JNICALL* NewStringUTF)(JNIEnv* env, const char* bytes);
    jsize (JNICALL* GetStringUTFLength)(JNIEnv* env, jstring string);
    const char* (JNICALL* GetStringUTFChars)(JNIEnv* env, jstring string, jboolean* isCopy);
    void (JNICALL* ReleaseStringUTFChars)(JNIEnv* env, jstring string, const char* utf);

    // 171: Arrays.
    jsize (JNICALL* GetArrayLength)(JNIEnv* env, jarray array);
    jobjectArray (JNICALL* NewObjectArray)(
        JNIEnv* env, jsize length, jclass elementClass, jobject initialElement);
    jobject (JNICALL* GetObjectArrayElement)(JNIEnv* env, jobjectArray array, jsize index);
    void (JNICALL* SetObjectArrayElement)(JNIEnv* env, jobjectArray array, jsize index, jobject value);
    jbooleanArray (JNICALL* NewBooleanArray)(JNIEnv* env, jsize length);
    jbyteArray (JNICALL* NewByteArray)(JNIEnv* env, jsize length);
    jcharArray (JNICALL* NewCharArray)(JNIEnv* env, jsize length);
    jshortArray (JNICALL* NewShortArray)(JNIEnv* env, jsize length);
    jintArray (JNICALL* NewIntArray)(JNIEnv* env, jsize length);
    jlongArray (JNICALL* NewLongArray)(JNIEnv* env, jsize length);
    jfloatArray (JNICALL* NewFloatArray)(JNIEnv* env, jsize length);
    jdoubleArray (JNICALL* NewDoubleArray)(JNIEnv* env, jsize length);
    jboolean* (JNICALL* GetBooleanArrayElements)(JNIEnv* env, jbooleanArray array, jboolean* isCopy);
    jbyte* (JNICALL* GetByteArrayElements)(JNIEnv* env, jbyteArray array, jboolean* isCopy);
    jchar* (JNICALL* GetCharArrayElements)(JNIEnv* env, jcharArray array, jboolean* isCopy);
    jshort* (JNICALL* GetShortArrayElements)(JNIEnv* env, jshortArray array, jboolean* isCopy);
    jint* (JNICALL* GetIntArrayElements)(JNIEnv* env, jintArray array, jboolean* isCopy);
    jlong* (JNICALL* GetLongArrayElements)(JNIEnv* env, jlongArray array, jboolean* isCopy);
    jfloat* (JNICALL* GetFloatArrayElements)(JNIEnv* env, jfloatArray array, jboolean* isCopy);
    jdouble* (JNICALL* GetDoubleArrayElements)(JNIEnv* env, jdoubleArray array, jboolean* isCopy);
    void (JNICALL* ReleaseBooleanArrayElements)(JNIEnv* env, jbooleanArray array, jboolean* elems, jint mode);
    void (JNICALL* ReleaseByteArrayElements)(JNIEnv* env, jbyteArray array, jbyte* elems, jint mode);
    void (JNICALL* ReleaseCharArrayElements)(JNIEnv* env, jcharArray array, jchar* elems, jint mode);
    void (JNICALL* ReleaseShortArrayElements)(JNIEnv* env, jshortArray array, jshort* elems, jint mode);
    void (JNICALL* ReleaseIntArrayElements)(JNIEnv* env, jintArray array, jint* elems, jint mode);
    void (JNICALL* ReleaseLongArrayElements)(JNIEnv* env, jlongArray array, jlong* elems, jint mode);
    void (JNICALL* ReleaseFloatArrayElements)(JNIEnv* env, jfloatArray array, jfloat* elems, jint mode);
    void (JNICALL* ReleaseDoubleArrayElements)(JNIEnv* env, jdoubleArray array, jdouble* elems, jint mode);
    void (JNICALL* GetBooleanArrayRegion)(
        JNIEnv* env, jbooleanArray array, jsize start, jsize len, jboolean* buf);
    void (JNICALL* GetByteArrayRegion)(JNIEnv* env, jbyteArray array, jsize start, jsize len, jbyte* buf);
    void (JNICALL* GetCharArrayRegion)(JNIEnv* env, jcharArray array, jsize start, jsize len, jchar* buf);
    void (JNICALL* GetShortArrayRegion)(JNIEnv* env, jshortArray array, jsize start, jsize len, jshort* buf);
    void (JNICALL* GetIntArrayRegion)(JNIEnv* env, jintArray array, jsize start, jsize len, jint* buf);
    void (JNICALL* GetLongArrayRegion)(JNIEnv* env, jlongArray array, jsize start, jsize len, jlong* buf);
    void (JNICALL* GetFloatArrayRegion)(JNIEnv* env, jfloatArray array, jsize start, jsize len, jfloat* buf);
    void (JNICALL* GetDoubleArrayRegion)(
        JNIEnv* env, jdoubleArray array, jsize start, jsize len, jdouble* buf);
    void (JNICALL* SetBooleanArrayRegion)(
        JNIEnv* env, jbooleanArray array, jsize start, jsize len, const jboolean* buf);
    void (JNICALL* SetByteArrayRegion)(
        JNIEnv* env, jbyteArray array, jsize start, jsize len, const jbyte* buf);
    void (JNICALL* SetCharArrayRegion)(
        JNIEnv* env, jcharArray array, jsize start, jsize len, const jchar* buf);
    void (JNICALL* SetShortArrayRegion)(
        JNIEnv* env, jshortArray array, jsize start, jsize len, const jshort* buf);
    void (JNICALL* SetIntArrayRegion)(JNIEnv* env, jintArray array, jsize start, jsize len, const jint* buf);
    void (JNICALL* SetLongArrayRegion)(
        JNIEnv* env, jlongArray array, jsize start, jsize len, const jlong* buf);
    void (JNICALL* SetFloatArrayRegion)(
        JNIEnv* env, jfloatArray array, jsize start, jsize len, const jfloat* buf);
    void (JNICALL* SetDoubleArrayRegion)(
        JNIEnv* env, jdoubleArray array, jsize start, jsize len, const jdouble* buf);

    // 215: Native methods, monitors, the VM.
    jint (JNICALL* RegisterNatives)(JNIEnv* env, jclass clazz, const JNINativeMethod* methods, jint nMethods);
    jint (JNICALL* UnregisterNatives)(JNIEnv* env, jclass clazz);
    jint (JNICALL* MonitorEnter)(JNIEnv* env, jobject obj);
    jint (JNICALL* MonitorExit)(JNIEnv* env, jobject obj);
    jint (JNICALL* GetJavaVM)(JNIEnv* env, JavaVM** vm);

    // 220: Added in 1.2.
    void (JNICALL* GetStringRegion)(JNIEnv* env, jstring str, jsize start, jsize len, jchar* buf);
    void (JNICALL* GetStringUTFRegion)(JNIEnv* env, jstring str, jsize start, jsize len, char* buf);
    void* (JNICALL* GetPrimitiveArrayCritical)(JNIEnv* env, jarray array, jboolean* isCopy);
    void (JNICALL* ReleasePrimitiveArrayCritical)(JNIEnv* env, jarray array, void* carray, jint mode);
    const jchar* (JNICALL* GetStringCritical)(JNIEnv* env, jstring string, jboolean* isCopy);
    void (JNICALL* ReleaseStringCritical)(JNIEnv* env, jstring string, const jchar* carray);

    // 226: Weak references and exceptions (1.2).
    jweak (JNICALL* NewWeakGlobalRef)(JNIEnv* env, jobject obj);
    void (JNICALL* DeleteWeakGlobalRef)(JNIEnv* env, jweak obj);
    jboolean (JNICALL* ExceptionCheck)(JNIEnv* env);

    // 229: Direct buffers (1.4).
    jobject (JNICALL* NewDirectByteBuffer)(JNIEnv* env, void* address, jlong capacity);
    void* (JNICALL* GetDirectBufferAddress)(JNIEnv* env, jobject buf);
    jlong (JNICALL* GetDirectBufferCapacity)(JNIEnv* env, jobject buf);

    // 232: Reference types (1.6).
    jobjectRefType (JNICALL* GetObjectRefType)(JNIEnv* env, jobject obj);

    // 233: Modules (9).
    jobject (JNICALL* GetModule)(JNIEnv* env, jclass clazz);

    // 234: Virtual threads (21).
    jboolean (JNICALL* IsVirtualThread)(JNIEnv* env, jobject obj);
};

// The VM's function table.
struct JNIInvokeInterface_ {
    void* reserved0;
    void* reserved1;
    void* reserved2;

    jint (JNICALL* DestroyJavaVM)(JavaVM* vm);
    jint (JNICALL* AttachCurrentThread)(JavaVM* vm, void** penv, void* args);
    jint (JNICALL* DetachCurrentThread)(JavaVM* vm);
    jint (JNICALL* GetEnv)(JavaVM* vm, void** penv, jint version);
    jint (JNICALL* AttachCurrentThreadAsDaemon)(JavaVM* vm, void** penv, void* args);
};

// One VM option: the option text (narrow, the platform code page) and extra data for hooks
// such as "vfprintf", "exit" and "abort".
typedef struct JavaVMOption {
    char* optionString;
    void* extraInfo;
} JavaVMOption;

// The arguments of JNI_CreateJavaVM from version 1.2 on.
typedef struct JavaVMInitArgs {
    jint version;
    jint nOptions;
    JavaVMOption* options;
    jboolean ignoreUnrecognized;
} JavaVMInitArgs;

// The optional argument of AttachCurrentThread.
typedef struct JavaVMAttachArgs {
    jint version;
    char* name;
    jobject group;
} JavaVMAttachArgs;

// The entry points a runtime's jvm.dll exports; the launcher binds them by name at run time.
typedef jint(JNICALL* JniGetDefaultJavaVMInitArgsFn)(void* args);
typedef jint(JNICALL* JniCreateJavaVMFn)(JavaVM** pvm, void** penv, void* args);
typedef jint(JNICALL* JniGetCreatedJavaVMsFn)(JavaVM** vmBuf, jsize bufLen, jsize* nVMs);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(jchar) == sizeof(char16_t) && alignof(jchar) == alignof(char16_t),
              "jchar must share char16_t's layout");
static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8 && sizeof(jboolean) == 1, "JNI widths");
#endif

#endif  // LAUNCHER_JNI_JNI_H
