#include "windows/base/handles.h"

#include "windows/base/system_functions.h"

namespace {

using CloseFunction = BOOL(WINAPI*)(void*);

void closeThrough(const wchar_t* library, const char* name, CloseFunction& cached, void* handle)
{
    // Written without a lock: concurrent first closes store the same address.
    if (cached == nullptr) cached = boundFunction<CloseFunction>(loadSystemLibrary(library), name);
    if (cached != nullptr) cached(handle);
}

}  // namespace

void handles::closeInternetHandle(void* handle)
{
    static CloseFunction close = nullptr;
    closeThrough(L"wininet.dll", "InternetCloseHandle", close, handle);
}

void handles::closeWinHttpHandle(void* handle)
{
    static CloseFunction close = nullptr;
    closeThrough(L"winhttp.dll", "WinHttpCloseHandle", close, handle);
}

void handles::closeLsaHandle(void* handle)
{
    using LsaCloseFunction = LONG(WINAPI*)(void*);
    static LsaCloseFunction close = nullptr;
    if (close == nullptr) close = boundFunction<LsaCloseFunction>(loadSystemLibrary(L"advapi32.dll"), "LsaClose");
    if (close != nullptr) close(handle);
}

void handles::freeNetApiBuffer(void* buffer)
{
    using NetApiBufferFreeFunction = DWORD(WINAPI*)(void*);
    static NetApiBufferFreeFunction free = nullptr;
    if (free == nullptr) free = boundFunction<NetApiBufferFreeFunction>(loadSystemLibrary(L"netapi32.dll"), "NetApiBufferFree");
    if (free != nullptr) free(buffer);
}
