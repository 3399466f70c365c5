#include "natives/files/folder_info.h"

#include <windows.h>
#include <shlobj.h>
#include <winnetwk.h>

#include <atomic>
#include <iterator>
#include <string>
#include <vector>

#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"
#include "windows/base/system_functions.h"

namespace {

constexpr DWORD kPathUnits = 32767;

int folderCsidl(jint code, bool allUsers)
{
    struct Row {
        int allUsers;
        int currentUser;
    };
    static const Row rows[] = {
        {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY},  // 1
        {CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU},
        {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS},
        {CSIDL_COMMON_STARTUP, CSIDL_STARTUP},
        {CSIDL_SENDTO, CSIDL_SENDTO},                              // 5
        {CSIDL_FONTS, CSIDL_FONTS},
        {CSIDL_COMMON_APPDATA, CSIDL_APPDATA},
        {CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL},
        {CSIDL_COMMON_TEMPLATES, CSIDL_TEMPLATES},
        {CSIDL_COMMON_FAVORITES, CSIDL_FAVORITES},                // 10
        {CSIDL_LOCAL_APPDATA, CSIDL_LOCAL_APPDATA},
    };
    if (code < 1 || code > static_cast<jint>(std::size(rows))) return CSIDL_DESKTOP;
    const Row& row = rows[code - 1];
    return allUsers ? row.allUsers : row.currentUser;
}

const GUID& knownFolder(jint code)
{
    static const GUID downloads = {0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
    static const GUID userProgramFiles = {0x5CD7AEE2, 0x2219, 0x4A67, {0xB8, 0x5D, 0x6C, 0x9C, 0xE1, 0x56, 0x60, 0xCB}};
    static const GUID userProgramFilesCommon = {0xBCBD3057, 0xCA5C, 0x4622, {0xB4, 0x2D, 0xBC, 0x56, 0xDB, 0x0A, 0xE5, 0x16}};
    static const GUID localAppDataLow = {0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};
    static const GUID profile = {0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};
    switch (code) {
    case 1001: return downloads;
    case 1002: return userProgramFiles;
    case 1003: return userProgramFilesCommon;
    case 1004: return localAppDataLow;
    default: return profile;
    }
}

using FolderPathFunction = decltype(&::SHGetFolderPathW);
using KnownFolderPathFunction = decltype(&::SHGetKnownFolderPath);
using UniversalNameFunction = decltype(&::WNetGetUniversalNameW);

// Bound once per process from the system directory (a missing function stays missing).
FolderPathFunction folderPathFunction()
{
    static const auto function = SYSTEM_FUNCTION(L"shell32.dll", SHGetFolderPathW);
    return function;
}

// Looked up on each call until found, then kept for the life of the process: a system that gains
// the function (a library that could not load yet) is not held to the first answer.
template <typename Function>
Function retriedFunction(std::atomic<Function>& cached, const wchar_t* library, const char* name)
{
    Function function = cached.load();
    if (function == nullptr) {
        function = systemFunction<Function>(library, name);
        if (function != nullptr) cached.store(function);
    }
    return function;
}

KnownFolderPathFunction knownFolderPathFunction()
{
    static std::atomic<KnownFolderPathFunction> cached{nullptr};
    return retriedFunction(cached, L"shell32.dll", "SHGetKnownFolderPath");
}

UniversalNameFunction universalNameFunction()
{
    static std::atomic<UniversalNameFunction> cached{nullptr};
    return retriedFunction(cached, L"mpr.dll", "WNetGetUniversalNameW");
}

// A directory query's result as Java text: 0, or a length that did not fit, gives null.
jstring directoryResult(JNIEnv* env, const std::vector<wchar_t>& buffer, UINT length)
{
    if (length == 0 || length >= buffer.size()) return nullptr;
    return wideToJava(env, std::wstring(buffer.data(), length));
}

}  // namespace

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getSpecialFolder0(
    JNIEnv* env, jclass, jint code, jboolean allUsers) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        if (code <= 1000) {
            FolderPathFunction folderPath = folderPathFunction();
            if (folderPath == nullptr) return nullptr;
            wchar_t path[MAX_PATH + 1] = {};
            if (folderPath(nullptr, folderCsidl(code, allUsers != JNI_FALSE) | CSIDL_FLAG_CREATE, nullptr, 0, path) != S_OK)
                return nullptr;
            return wideToJava(env, path);
        }
        KnownFolderPathFunction knownFolderPath = knownFolderPathFunction();
        if (knownFolderPath == nullptr) return nullptr;
        PWSTR path = nullptr;
        const HRESULT result = knownFolderPath(knownFolder(code), 0, nullptr, &path);
        unique_cotaskmem owner(path);  // freed on failure too
        if (result != S_OK || path == nullptr) return nullptr;
        return wideToJava(env, path);
    });
}

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getPathFromRegistry0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        unique_hkey key = openKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE);
        if (!key) return nullptr;
        const JavaText valueName(env, name);
        std::vector<wchar_t> buffer(kPathUnits / 2 + 1);
        DWORD size = kPathUnits;
        if (::RegQueryValueExW(key.get(), valueName.get(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
            ERROR_SUCCESS)
            return nullptr;
        key.reset();
        // Up to the first NUL, and never past the data the registry returned.
        std::wstring text(buffer.data(), size / sizeof(wchar_t));
        return wideToJava(env, text.substr(0, text.find(L'\0')));
    });
}

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getWindowsDirectory0(
    JNIEnv* env, jclass) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        std::vector<wchar_t> buffer(kPathUnits);
        auto systemWindowsDirectory = KERNEL_FUNCTION(GetSystemWindowsDirectoryW);
        const UINT length = systemWindowsDirectory != nullptr ? systemWindowsDirectory(buffer.data(), kPathUnits)
                                                              : ::GetWindowsDirectoryW(buffer.data(), kPathUnits);
        return directoryResult(env, buffer, length);
    });
}

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getSystemDirectory0(
    JNIEnv* env, jclass) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        std::vector<wchar_t> buffer(kPathUnits);
        return directoryResult(env, buffer, ::GetSystemDirectoryW(buffer.data(), kPathUnits));
    });
}

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getDriveType0(
    JNIEnv* env, jclass, jstring root) noexcept
{
    return guarded(0, [&]() -> jint {
        const JavaText rootPath(env, root);
        return static_cast<jint>(::GetDriveTypeW(rootPath.get()));
    });
}

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getShortPathName0(
    JNIEnv* env, jclass, jstring path) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        const JavaText longPath(env, path);
        std::vector<wchar_t> buffer(kPathUnits);
        const DWORD length = longPath.isNull() ? 0 : ::GetShortPathNameW(longPath.get(), buffer.data(), kPathUnits);
        if (length == 0 || length >= kPathUnits) return path;
        jstring shortPath = wideToJava(env, std::wstring(buffer.data(), length));
        return shortPath != nullptr ? shortPath : path;
    });
}

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getUniversalPathName0(
    JNIEnv* env, jclass, jstring path) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        UniversalNameFunction universalName = universalNameFunction();
        if (universalName == nullptr) return path;
        const JavaText localPath(env, path);
        // UNIVERSAL_NAME_INFOW points into the same buffer; pointer-aligned storage keeps it readable.
        std::vector<ULONG_PTR> buffer(0xFFFE / sizeof(ULONG_PTR) + 1);
        DWORD size = 0xFFFE;
        const DWORD status = universalName(localPath.get(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
        if (status != NO_ERROR) return wideToJava(env, L";" + std::to_wstring(static_cast<int>(status)));
        const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data());
        return wideToJava(env, info->lpUniversalName != nullptr ? info->lpUniversalName : L"");
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kFolderInfoRows[] = {
    PLATFORM_ROW(FolderInfo, getSpecialFolder0, "(IZ)Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getPathFromRegistry0, "(Ljava/lang/String;)Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getWindowsDirectory0, "()Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getSystemDirectory0, "()Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getDriveType0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(FolderInfo, getShortPathName0, "(Ljava/lang/String;)Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getUniversalPathName0, "(Ljava/lang/String;)Ljava/lang/String;"),
};
constexpr NativeClass kFolderInfoNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/FolderInfo", kFolderInfoRows);
