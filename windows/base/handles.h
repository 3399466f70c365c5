// Owners for Win32 handles: one line per handle kind says how it closes and what means empty.
// Closing keeps GetLastError() intact, so a failure can be captured after the owner goes away.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wincrypt.h>
#include <winsvc.h>

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
struct GlobalMemory { using Value = HGLOBAL; static bool empty(HGLOBAL m) { return m == nullptr; }     static void close(HGLOBAL m) { ::GlobalFree(m); } };
struct Service      { using Value = SC_HANDLE; static bool empty(SC_HANDLE s) { return s == nullptr; } static void close(SC_HANDLE s) { ::CloseServiceHandle(s); } };
struct AllocatedSid { using Value = PSID;    static bool empty(PSID s) { return s == nullptr; }        static void close(PSID s) { ::FreeSid(s); } };
struct Icon         { using Value = HICON;   static bool empty(HICON i) { return i == nullptr; }       static void close(HICON i) { ::DestroyIcon(i); } };
struct TaskMemory   { using Value = LPVOID;  static bool empty(LPVOID m) { return m == nullptr; }      static void close(LPVOID m) { ::CoTaskMemFree(m); } };
struct Snapshot     { using Value = HANDLE;  static bool empty(HANDLE h) { return nullOrInvalid(h); } static void close(HANDLE h) { ::CloseHandle(h); } };
struct EnvironmentBlock { using Value = LPWCH; static bool empty(LPWCH b) { return b == nullptr; }    static void close(LPWCH b) { ::FreeEnvironmentStringsW(b); } };
// Internet handles of WinInet and WinHTTP: their libraries are loaded at run time, so the close
// function is bound the first time one closes.
void closeInternetHandle(void* handle);
void closeWinHttpHandle(void* handle);
struct InternetHandle { using Value = void*; static bool empty(void* h) { return h == nullptr; }       static void close(void* h) { closeInternetHandle(h); } };
struct WinHttpHandle  { using Value = void*; static bool empty(void* h) { return h == nullptr; }       static void close(void* h) { closeWinHttpHandle(h); } };
// An LSA policy handle (LSA_HANDLE); LsaClose is bound from advapi32 the first time one closes.
void closeLsaHandle(void* handle);
// A buffer of the network management functions; netapi32 is no KnownDLL, so the launcher never
// imports it: NetApiBufferFree is bound from the system directory the first time one is freed.
void freeNetApiBuffer(void* buffer);
struct NetApiBuffer   { using Value = void*; static bool empty(void* b) { return b == nullptr; }       static void close(void* b) { freeNetApiBuffer(b); } };
struct LsaHandle      { using Value = void*; static bool empty(void* h) { return h == nullptr; }       static void close(void* h) { closeLsaHandle(h); } };
struct CryptProvider  { using Value = HCRYPTPROV; static bool empty(HCRYPTPROV p) { return p == 0; }   static void close(HCRYPTPROV p) { ::CryptReleaseContext(p, 0); } };
struct CryptHash      { using Value = HCRYPTHASH; static bool empty(HCRYPTHASH h) { return h == 0; }   static void close(HCRYPTHASH h) { ::CryptDestroyHash(h); } };
// clang-format on

}  // namespace handles

// Kernel objects and files: null and INVALID_HANDLE_VALUE are both empty.
using unique_handle = handles::Unique<handles::KernelHandle>;
using unique_file = handles::Unique<handles::KernelHandle>;
using unique_hkey = handles::Unique<handles::RegistryKey>;
using unique_module = handles::Unique<handles::Module>;
using unique_find = handles::Unique<handles::FindHandle>;
using unique_local = handles::Unique<handles::LocalMemory>;
using unique_global = handles::Unique<handles::GlobalMemory>;
// Service manager and service handles.
using unique_service = handles::Unique<handles::Service>;
// A SID from AllocateAndInitializeSid (a SID from ConvertStringSidToSidW is a unique_local).
using unique_sid = handles::Unique<handles::AllocatedSid>;
using unique_netapi_buffer = handles::Unique<handles::NetApiBuffer>;
using unique_hicon = handles::Unique<handles::Icon>;
// Memory the shell or COM hands out (SHGetKnownFolderPath, dialog results).
using unique_cotaskmem = handles::Unique<handles::TaskMemory>;
using unique_snapshot = handles::Unique<handles::Snapshot>;
using unique_environment = handles::Unique<handles::EnvironmentBlock>;
using unique_internet = handles::Unique<handles::InternetHandle>;
using unique_winhttp = handles::Unique<handles::WinHttpHandle>;
using unique_lsa = handles::Unique<handles::LsaHandle>;
// CryptoAPI provider contexts and hash objects.
using unique_crypt_provider = handles::Unique<handles::CryptProvider>;
using unique_crypt_hash = handles::Unique<handles::CryptHash>;

// A COM interface pointer, released when it goes.
template <typename Interface>
class com_ptr {
public:
    com_ptr() = default;
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    com_ptr& operator=(com_ptr&& other) noexcept
    {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~com_ptr() { reset(); }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // Releases what is held and returns the slot for CoCreateInstance / QueryInterface.
    Interface** put()
    {
        reset();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset()
    {
        if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
    }
    // Another interface of the same object; empty when it has none.
    template <typename Other>
    com_ptr<Other> query(REFIID id) const
    {
        com_ptr<Other> other;
        if (pointer_ != nullptr) pointer_->QueryInterface(id, other.putVoid());
        return other;
    }

private:
    Interface* pointer_ = nullptr;
};

// COM initialised on this thread for the scope (apartment-threaded, as the shell needs); balanced
// with CoUninitialize only when the initialisation succeeded (S_FALSE included).
class com_scope {
public:
    explicit com_scope(DWORD model = COINIT_APARTMENTTHREADED) : result_(::CoInitializeEx(nullptr, model)) {}
    ~com_scope()
    {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    com_scope(const com_scope&) = delete;
    com_scope& operator=(const com_scope&) = delete;
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

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
