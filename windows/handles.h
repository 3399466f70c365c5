// Owners for Win32 handles: one line per handle kind says how it closes and what means empty.
// Closing keeps GetLastError() intact, so a failure can be captured after the owner goes away.
#pragma once

#include <windows.h>

#include <utility>

namespace handles {

template <typename Traits>
class Unique {
public:
    using Value = typename Traits::Value;

    Unique() = default;
    explicit Unique(Value value) : value_(value) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : value_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~Unique() { reset(); }

    Value get() const { return value_; }
    explicit operator bool() const { return !Traits::empty(value_); }
    // Closes what is held and returns the slot for an API that writes a new value.
    Value* put()
    {
        reset();
        return &value_;
    }
    Value release() { return std::exchange(value_, Value{}); }
    void reset(Value value = Value{})
    {
        Value old = std::exchange(value_, value);
        if (!Traits::empty(old)) {
            DWORD error = ::GetLastError();
            Traits::close(old);
            ::SetLastError(error);
        }
    }

private:
    Value value_{};
};

inline bool nullOrInvalid(HANDLE handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }

// clang-format off
struct KernelHandle { using Value = HANDLE;  static bool empty(HANDLE h) { return nullOrInvalid(h); } static void close(HANDLE h) { ::CloseHandle(h); } };
struct RegistryKey  { using Value = HKEY;    static bool empty(HKEY k) { return k == nullptr; }        static void close(HKEY k) { ::RegCloseKey(k); } };
struct Module       { using Value = HMODULE; static bool empty(HMODULE m) { return m == nullptr; }     static void close(HMODULE m) { ::FreeLibrary(m); } };
struct FindHandle   { using Value = HANDLE;  static bool empty(HANDLE h) { return nullOrInvalid(h); } static void close(HANDLE h) { ::FindClose(h); } };
struct LocalMemory  { using Value = HLOCAL;  static bool empty(HLOCAL m) { return m == nullptr; }      static void close(HLOCAL m) { ::LocalFree(m); } };
// clang-format on

}  // namespace handles

// Kernel objects and files: null and INVALID_HANDLE_VALUE are both empty.
using unique_handle = handles::Unique<handles::KernelHandle>;
using unique_file = handles::Unique<handles::KernelHandle>;
using unique_hkey = handles::Unique<handles::RegistryKey>;
using unique_module = handles::Unique<handles::Module>;
using unique_find = handles::Unique<handles::FindHandle>;
using unique_local = handles::Unique<handles::LocalMemory>;

// Runs a function when the scope ends, unless released.
template <typename F>
class scope_exit {
public:
    explicit scope_exit(F function) : function_(std::move(function)) {}
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    ~scope_exit()
    {
        if (armed_) function_();
    }
    void release() { armed_ = false; }

private:
    F function_;
    bool armed_ = true;
};
