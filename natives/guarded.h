// The one wall between the natives and the VM: a C++ exception (std::bad_alloc from a container,
// most likely in a 32-bit process) must not unwind through JVM frames, where noexcept would end the
// whole Java process. Every exported native runs its body inside guarded and answers its family's
// failure value instead.
#pragma once

#include <type_traits>
#include <utility>

// body(), or failure when body throws.
template <typename Body>
std::invoke_result_t<Body> guarded(std::invoke_result_t<Body> failure, Body&& body) noexcept
{
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

// The same for a native without a result: a throwing body just ends.
template <typename Body>
void guarded(Body&& body) noexcept
{
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}
