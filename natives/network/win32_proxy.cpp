#include "natives/network/win32_proxy.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdint>

#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"

namespace {

constexpr jint kFunctionsMissing = 100000;
constexpr jlong kStageOpen = jlong{1} << 32;
constexpr jlong kStageLookup = jlong{2} << 32;

struct ProxyFunctions {
    decltype(&::WinHttpGetIEProxyConfigForCurrentUser) getIEConfig = nullptr;
    decltype(&::WinHttpOpen) open = nullptr;
    decltype(&::WinHttpCloseHandle) closeHandle = nullptr;
    decltype(&::WinHttpGetProxyForUrl) getProxyForUrl = nullptr;
    decltype(&::WinHttpGetDefaultProxyConfiguration) getDefaultConfig = nullptr;
};

// The WinHTTP functions, bound on the first call, all or none; null when one of them is missing.
const ProxyFunctions* proxyFunctions()
{
    static const BoundGroup<ProxyFunctions> bound =
        bindGroup<ProxyFunctions>(loadSystemLibrary(L"winhttp.dll"), [](GroupBinder& bind, ProxyFunctions& f) {
            bind(f.getIEConfig, "WinHttpGetIEProxyConfigForCurrentUser")(f.open, "WinHttpOpen");
            bind(f.closeHandle, "WinHttpCloseHandle")(f.getProxyForUrl, "WinHttpGetProxyForUrl");
            bind(f.getDefaultConfig, "WinHttpGetDefaultProxyConfiguration");
        });
    return bound.get();
}

// Stores a text that WinHTTP allocated into out[index] when it is non-empty; frees it in any case.
void putAllocated(JNIEnv* env, jobjectArray out, jsize index, wchar_t* text)
{
    unique_global owner(text);
    if (text == nullptr || text[0] == L'\0' || out == nullptr) return;
    setStringElement(env, out, index, text);
}

void putFlag(JNIEnv* env, jobjectArray out, jsize index, bool value)
{
    if (out != nullptr) setStringElement(env, out, index, value ? L"true" : L"false");
}

// The shape WinHTTP gives a proxy (default configuration, auto-proxy result): named or not, list, bypass.
void putProxyInfo(JNIEnv* env, jobjectArray out, WINHTTP_PROXY_INFO& info)
{
    putFlag(env, out, 0, info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY);
    putAllocated(env, out, 1, info.lpszProxy);
    putAllocated(env, out, 2, info.lpszProxyBypass);
}

}  // namespace

extern "C" JNIEXPORT jboolean JNICALL
Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_loadFunctions0(JNIEnv*, jclass) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        return proxyFunctions() != nullptr ? JNI_TRUE : JNI_FALSE;
    });
}

extern "C" JNIEXPORT jint JNICALL
Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getIEConfig0(JNIEnv* env, jclass, jobjectArray out) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        const ProxyFunctions* winhttp = proxyFunctions();
        if (winhttp == nullptr) return kFunctionsMissing;
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
        if (!winhttp->getIEConfig(&config)) return static_cast<jint>(::GetLastError());
        putFlag(env, out, 0, config.fAutoDetect != FALSE);
        putAllocated(env, out, 1, config.lpszAutoConfigUrl);
        putAllocated(env, out, 2, config.lpszProxy);
        putAllocated(env, out, 3, config.lpszProxyBypass);
        return 0;
    });
}

extern "C" JNIEXPORT jint JNICALL
Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getDefaultConfig0(JNIEnv* env, jclass,
                                                                                 jobjectArray out) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        const ProxyFunctions* winhttp = proxyFunctions();
        if (winhttp == nullptr) return kFunctionsMissing;
        WINHTTP_PROXY_INFO info{};
        if (!winhttp->getDefaultConfig(&info)) return static_cast<jint>(::GetLastError());
        putProxyInfo(env, out, info);
        return 0;
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getAutoProxyConfig0(
    JNIEnv* env, jclass, jobjectArray out, jstring url, jstring configUrl, jint flags, jint autoDetectFlags,
    jboolean autoLogon) noexcept
{
    return guarded(0, [&]() -> jlong {
        if (url == nullptr) return 0;
        const ProxyFunctions* winhttp = proxyFunctions();
        if (winhttp == nullptr) return kFunctionsMissing;
        const JavaText target(env, url);
        const JavaText script(env, configUrl);
        unique_winhttp session(winhttp->open(L"stowline proxy detection/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session) return kStageOpen + static_cast<jlong>(::GetLastError());
        WINHTTP_AUTOPROXY_OPTIONS options{};
        options.dwFlags = static_cast<DWORD>(flags);
        options.dwAutoDetectFlags = static_cast<DWORD>(autoDetectFlags);
        options.lpszAutoConfigUrl = script.get();
        options.fAutoLogonIfChallenged = autoLogon ? TRUE : FALSE;
        WINHTTP_PROXY_INFO info{};
        if (!winhttp->getProxyForUrl(session.get(), target.get(), &options, &info))
            return kStageLookup + static_cast<jlong>(::GetLastError());
        putProxyInfo(env, out, info);
        return 0;
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWin32ProxyRows[] = {
    PLATFORM_ROW(Win32Proxy, getIEConfig0, "([Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Proxy, getDefaultConfig0, "([Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Proxy, getAutoProxyConfig0, "([Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZ)J"),
    PLATFORM_ROW(Win32Proxy, loadFunctions0, "()Z"),
};
constexpr NativeClass kWin32ProxyNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/Win32Proxy", kWin32ProxyRows);
