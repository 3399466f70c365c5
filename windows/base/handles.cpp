#include "windows/base/handles.h"

#include <lm.h>
#include <ntsecapi.h>

#include "windows/base/internet_functions.h"

namespace {

// WinHttpCloseHandle's declaration: winhttp.h cannot be included beside wininet.h.
using WinHttpCloseFunction = BOOL(WINAPI*)(void*);

}  // namespace

void handles::closeInternetHandle(void* handle)
{
    // Only the group's functions make internet handles.
    if (const InternetFunctions* net = internetFunctions()) net->closeHandle(handle);
}

void handles::closeWinHttpHandle(void* handle)
{
    static const auto close = systemFunction<WinHttpCloseFunction>(L"winhttp.dll", "WinHttpCloseHandle");
    if (close != nullptr) close(handle);
}

void handles::closeLsaHandle(void* handle)
{
    static const auto close = systemFunction<decltype(&::LsaClose)>(L"advapi32.dll", "LsaClose");
    if (close != nullptr) close(handle);
}

void handles::freeNetApiBuffer(void* buffer)
{
    static const auto free = systemFunction<decltype(&::NetApiBufferFree)>(L"netapi32.dll", "NetApiBufferFree");
    if (free != nullptr) free(buffer);
}
