// Compile-time check of a registration row: the C++ function bound to a Java native must take the
// parameters and return the result its JNI descriptor names. The VM calls the function through the
// descriptor alone; on x86 natives are __stdcall and the callee pops its own arguments, so a
// parameter too many or too few, or a jlong where a jint is pushed, corrupts the caller's stack.
//
//   descriptor   "(" parameter types ")" result type
//   types        Z jboolean  B jbyte  C jchar  S jshort  I jint  J jlong  F jfloat  D jdouble
//                V void (result only)  L<class>; and [<type>: a reference (any jobject kind)
//
// Reference kinds (jstring, jclass, arrays) are one C type and cannot be told apart; their number
// and position can.
#pragma once

#include <cstddef>
#include <type_traits>

#include "jni/jni.h"

namespace descriptor_check {

// The descriptor letter of a C++ parameter or result type: 'L' for every reference, 0 for a type
// no descriptor names (bool, long, pointers other than jobject).
template <typename T>
constexpr char letterOf()
{
    if constexpr (std::is_same_v<T, jboolean>) return 'Z';
    else if constexpr (std::is_same_v<T, jbyte>) return 'B';
    else if constexpr (std::is_same_v<T, jchar>) return 'C';
    else if constexpr (std::is_same_v<T, jshort>) return 'S';
    else if constexpr (std::is_same_v<T, jint>) return 'I';
    else if constexpr (std::is_same_v<T, jlong>) return 'J';
    else if constexpr (std::is_same_v<T, jfloat>) return 'F';
    else if constexpr (std::is_same_v<T, jdouble>) return 'D';
    else if constexpr (std::is_same_v<T, void>) return 'V';
    else if constexpr (std::is_same_v<T, jobject>) return 'L';
    else return 0;
}

// The letter of the type that starts at text[at] ('L' for classes and arrays), with at moved past
// it; 0 for a malformed type.
constexpr char readType(const char* text, size_t& at)
{
    bool array = false;
    while (text[at] == '[') {
        array = true;
        ++at;
    }
    const char letter = text[at];
    if (letter == 'L') {
        while (text[at] != ';' && text[at] != '\0') ++at;
        if (text[at] != ';') return 0;
        ++at;
        return 'L';
    }
    switch (letter) {
    case 'Z': case 'B': case 'C': case 'S': case 'I': case 'J': case 'F': case 'D': case 'V':
        ++at;
        if (array) return letter == 'V' ? 0 : 'L';
        return letter;
    default:
        return 0;
    }
}

// True when descriptor is well formed and names exactly the letters given: count parameters, then
// the result.
constexpr bool descriptorNames(const char* descriptor, const char* parameters, size_t count, char result)
{
    size_t at = 0;
    if (descriptor[at++] != '(') return false;
    for (size_t i = 0; i < count; ++i) {
        if (descriptor[at] == ')') return false;  // fewer in the descriptor than in the function
        const char letter = readType(descriptor, at);
        if (letter == 0 || letter == 'V' || letter != parameters[i]) return false;
    }
    if (descriptor[at++] != ')') return false;  // more in the descriptor than in the function
    return readType(descriptor, at) == result && result != 0 && descriptor[at] == '\0';
}

// True when a native (JNIEnv*, its class or object, then the Java parameters) follows descriptor.
// Only a JNICALL function converts to the parameter: on x86 a native without it does not compile.
template <typename Result, typename... Parameters>
constexpr bool follows(Result (JNICALL*)(JNIEnv*, jobject, Parameters...) noexcept, const char* descriptor)
{
    constexpr char letters[] = {letterOf<Parameters>()..., '\0'};
    return descriptorNames(descriptor, letters, sizeof...(Parameters), letterOf<Result>());
}

}  // namespace descriptor_check
