// The method table of a native class: each class file keeps its rows beside its functions, and
// registration.cpp lists the classes in order. A row names the Java method and its descriptor; the
// function its exported name reaches is checked against the descriptor when the table is compiled
// (descriptor_check.h), so a row whose function differs does not compile.
#pragma once

#include <cstddef>

#include "natives/descriptor_check.h"

// One native method: Java name and JNI signature.
struct NativeMethodName {
    const char* name;
    const char* signature;
};

// One class and its natives in registration order; slash name, or dotted for classes found
// through Class.forName.
struct NativeClass {
    const char* name;
    const NativeMethodName* methods;
    size_t methodCount;
};

// A class of rows: its name and its whole method array.
template <size_t Count>
constexpr NativeClass nativeClass(const char* name, const NativeMethodName (&methods)[Count])
{
    return NativeClass{name, methods, Count};
}

// One checked row, {method name, descriptor}, for the function given.
#define CHECKED_NATIVE_ROW(function, method, descriptor)                                                   \
    [] {                                                                                                    \
        static_assert(descriptor_check::follows(&function, descriptor),                                    \
                      #function " does not take the parameters or return the result of " descriptor);     \
        return NativeMethodName{method, descriptor};                                                        \
    }()

// Rows of the platform classes (com/stowline/runtime/installer/platform/win32/...) and of the
// window-border classes (com.stowline.runtime.flatlaf...), by class and method name.
#define PLATFORM_ROW(klass, method, descriptor) \
    CHECKED_NATIVE_ROW(Java_com_stowline_runtime_installer_platform_win32_##klass##_##method, #method, descriptor)
#define BORDER_ROW(klass, method, descriptor) \
    CHECKED_NATIVE_ROW(Java_com_stowline_runtime_flatlaf_##klass##_##method, #method, descriptor)
