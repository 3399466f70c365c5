// The JNI plumbing that the launcher and the natives share: a local reference owner and the
// calls that leave no exception pending behind them. None of them throws into Java: a failed call
// clears its exception and answers null or empty.
#pragma once

#include <string>
#include <utility>

#include "jni/jni.h"

// A local reference deleted when the scope ends, so loops over many objects stay within the
// VM's guaranteed local references.
template <typename Reference>
class LocalRef {
public:
    LocalRef(JNIEnv* env, Reference reference) : env_(env), reference_(reference) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    LocalRef(LocalRef&& other) noexcept : env_(other.env_), reference_(std::exchange(other.reference_, nullptr)) {}
    LocalRef& operator=(LocalRef&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
            env_ = other.env_;
        }
        return *this;
    }
    ~LocalRef() { reset(); }
    Reference get() const { return reference_; }
    explicit operator bool() const { return reference_ != nullptr; }
    // Hands the reference over (to be returned to Java).
    Reference release() { return std::exchange(reference_, nullptr); }
    // Deletes the reference held and keeps the one given.
    void reset(Reference reference = nullptr)
    {
        Reference old = std::exchange(reference_, reference);
        if (old != nullptr && old != reference) (*env_)->DeleteLocalRef(env_, old);
    }

private:
    JNIEnv* env_;
    Reference reference_;
};

// True when an exception was pending; it is cleared.
bool clearPendingException(JNIEnv* env);
// FindClass without a pending exception left behind; null when missing.
jclass findClassQuietly(JNIEnv* env, const char* name);
// GetStaticMethodID the same way; null when missing.
jmethodID staticMethodQuietly(JNIEnv* env, jclass owner, const char* name, const char* signature);

// The characters of a Java string; empty for null (and *isNull set when given).
std::wstring javaToWide(JNIEnv* env, jstring text, bool* isNull = nullptr);
// A new Java string; null when the VM could not make one.
jstring wideToJava(JNIEnv* env, const std::wstring& text);
