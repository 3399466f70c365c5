#include "natives/files/file_version.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "natives/jni_support.h"
#include "windows/base/system_functions.h"

namespace {

using SizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using InfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

struct VersionFunctions {
    SizeFunction size = nullptr;
    InfoFunction info = nullptr;
    QueryFunction query = nullptr;
};

// Bound once in a function-local static, thread-safe by the language: a concurrent first call
// waits for the functions instead of seeing them unset.
const VersionFunctions& versionFunctions()
{
    static const VersionFunctions functions = [] {
        HMODULE version = loadSystemLibrary(L"version.dll");
        VersionFunctions bound;
        bound.size = boundFunction<SizeFunction>(version, "GetFileVersionInfoSizeW");
        bound.info = boundFunction<InfoFunction>(version, "GetFileVersionInfoW");
        bound.query = boundFunction<QueryFunction>(version, "VerQueryValueW");
        return bound;
    }();
    return functions;
}

bool fileVersion(JNIEnv* env, jstring path, ULONGLONG& version)
{
    const VersionFunctions& functions = versionFunctions();
    if (functions.size == nullptr || functions.info == nullptr || functions.query == nullptr) return false;
    const JavaText file(env, path);
    if (file.isNull()) return false;
    DWORD handle = 0;
    const DWORD size = functions.size(file.get(), &handle);
    if (size == 0) return false;
    std::vector<BYTE> block(static_cast<size_t>(size) * 2);
    if (!functions.info(file.get(), 0, size, block.data())) return false;
    void* fixed = nullptr;
    UINT length = 0;
    if (!functions.query(block.data(), L"\\", &fixed, &length) || fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return false;
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, fixed, sizeof info);
    version = (static_cast<ULONGLONG>(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
    return true;
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_FileVersion_compare0(
    JNIEnv* env, jclass, jstring first, jstring second) noexcept
{
    return guarded(3, [&]() -> jint {
        ULONGLONG firstVersion = 0, secondVersion = 0;
        if (!fileVersion(env, first, firstVersion) || !fileVersion(env, second, secondVersion)) return 3;
        if (firstVersion == secondVersion) return 0;
        return firstVersion > secondVersion ? 1 : 2;
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kFileVersionRows[] = {
    PLATFORM_ROW(FileVersion, compare0, "(Ljava/lang/String;Ljava/lang/String;)I"),
};
constexpr NativeClass kFileVersionNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/FileVersion", kFileVersionRows);
