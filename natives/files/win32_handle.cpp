#include "natives/files/win32_handle.h"

#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/handle_table.h"
#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"

namespace {

constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
constexpr NTSTATUS kInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;
// Handles with this access are named pipes whose name query can block for ever.
constexpr ULONG kBlockingAccess = 0x0012019F;
// The system handle list doubles until it fits; beyond this something is wrong with the answer.
constexpr size_t kMaxHandleListBytes = size_t(256) << 20;

using QuerySystemInformationFunction = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using DuplicateObjectFunction = NTSTATUS(NTAPI*)(HANDLE, HANDLE, HANDLE, PHANDLE, ACCESS_MASK, ULONG, ULONG);
using QueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using OpenSymbolicLinkFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES);
using QuerySymbolicLinkFunction = NTSTATUS(NTAPI*)(HANDLE, PUNICODE_STRING, PULONG);

template <typename Function>
Function ntdllFunction(const char* name)
{
    return loadedFunction<Function>(L"ntdll.dll", name);
}

// NtQueryObject answers start with a counted string: the type name (class 2) or the object name (class 1).
const UNICODE_STRING& countedText(const std::vector<ULONG_PTR>& buffer)
{
    return *reinterpret_cast<const UNICODE_STRING*>(buffer.data());
}

std::vector<ULONG_PTR> queryObject(QueryObjectFunction query, HANDLE handle, ULONG kind, bool growOnce)
{
    std::vector<ULONG_PTR> buffer(4096 / sizeof(ULONG_PTR));
    ULONG needed = 0;
    NTSTATUS status = query(handle, kind, buffer.data(), 4096, growOnce ? &needed : nullptr);
    if (status < 0 && growOnce && needed > 4096 && needed <= 0x10000 + sizeof(UNICODE_STRING)) {
        buffer.assign(needed / sizeof(ULONG_PTR) + 1, 0);
        status = query(handle, kind, buffer.data(), needed, nullptr);
    }
    if (status < 0) return {};
    return buffer;
}

void printLine(const char* format, const wchar_t* name = nullptr, NTSTATUS status = 0)
{
    std::printf(format, name, reinterpret_cast<void*>(static_cast<intptr_t>(status)));
    std::fflush(stdout);
}

}  // namespace

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Handle_list0(
    JNIEnv* env, jclass) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        auto querySystem = ntdllFunction<QuerySystemInformationFunction>("NtQuerySystemInformation");
        auto duplicate = ntdllFunction<DuplicateObjectFunction>("NtDuplicateObject");
        auto queryObjectInfo = ntdllFunction<QueryObjectFunction>("NtQueryObject");
        if (querySystem == nullptr || duplicate == nullptr || queryObjectInfo == nullptr) return nullptr;

        // The extended list carries full-width process ids and handle values; the compact one, with
        // 16 bits of each, only where the system lacks the extended class.
        std::vector<ULONG_PTR> system;
        NTSTATUS status = kInvalidInfoClass;
        HandleTableLayout layout = HandleTableLayout::Extended;
        for (ULONG infoClass : {kSystemExtendedHandleInformation, kSystemHandleInformation}) {
            size_t bytes = 65536;
            do {
                system.assign(bytes / sizeof(ULONG_PTR), 0);
                ULONG returned = 0;
                status = querySystem(infoClass, system.data(), static_cast<ULONG>(bytes), &returned);
                bytes *= 2;
            } while (status == kInfoLengthMismatch && bytes <= kMaxHandleListBytes);
            if (status != kInvalidInfoClass && status != kNotImplemented) break;
            layout = HandleTableLayout::Compact;
        }
        if (status < 0) {
            printLine("NtQuerySystemInformation failed!\n");
            return nullptr;
        }

        const std::vector<HandleTableEntry> own =
            handlesOfProcess(reinterpret_cast<const std::uint8_t*>(system.data()), system.size() * sizeof(ULONG_PTR),
                             layout, sizeof(void*), ::GetCurrentProcessId());
        std::vector<jint> handles;
        std::vector<std::wstring> names;
        for (const HandleTableEntry& entry : own) {
            unique_handle copy;
            if (duplicate(::GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.handle)),
                          ::GetCurrentProcess(), copy.put(), 0, 0, 0) < 0)
                continue;
            const std::vector<ULONG_PTR> typeInfo = queryObject(queryObjectInfo, copy.get(), kObjectTypeInformation, false);
            if (typeInfo.empty() || entry.grantedAccess == kBlockingAccess) continue;
            const std::vector<ULONG_PTR> nameInfo = queryObject(queryObjectInfo, copy.get(), kObjectNameInformation, true);
            if (nameInfo.empty()) continue;
            const UNICODE_STRING& typeName = countedText(typeInfo);
            const UNICODE_STRING& name = countedText(nameInfo);
            if (name.Length == 0 || name.Buffer == nullptr || typeName.Length != 8 || typeName.Buffer == nullptr ||
                std::wcsncmp(typeName.Buffer, L"File", 4) != 0)
                continue;
            handles.push_back(static_cast<jint>(entry.handle));
            names.emplace_back(name.Buffer, name.Length / sizeof(wchar_t));
        }
        system.clear();
        std::fflush(stdout);

        LocalRef<jintArray> handleArray(env, intsToJava(env, handles));
        LocalRef<jobjectArray> nameArray(env, wideArrayToJava(env, names, ArrayElement::Fail));
        if (!handleArray || !nameArray) return nullptr;
        LocalRef<jclass> objectClass(env, findClassQuietly(env, "java/lang/Object"));
        if (!objectClass) return nullptr;
        LocalRef<jobjectArray> result(env, (*env)->NewObjectArray(env, 2, objectClass.get(), nullptr));
        if (!result) {
            clearPendingException(env);
            return nullptr;
        }
        (*env)->SetObjectArrayElement(env, result.get(), 0, handleArray.get());
        (*env)->SetObjectArrayElement(env, result.get(), 1, nameArray.get());
        if (clearPendingException(env)) return nullptr;
        return result.release();
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Handle_close0(
    JNIEnv*, jclass, jint handle) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        auto duplicate = ntdllFunction<DuplicateObjectFunction>("NtDuplicateObject");
        if (duplicate == nullptr) return JNI_FALSE;
        unique_handle copy;
        const auto source = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(static_cast<ULONG>(handle)));
        if (duplicate(::GetCurrentProcess(), source, ::GetCurrentProcess(), copy.put(), 0, 0, DUPLICATE_CLOSE_SOURCE) < 0)
            return JNI_FALSE;
        return JNI_TRUE;
    });
}

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Handle_getDeviceName0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        if (name == nullptr) return nullptr;
        auto openLink = ntdllFunction<OpenSymbolicLinkFunction>("NtOpenSymbolicLinkObject");
        auto queryLink = ntdllFunction<QuerySymbolicLinkFunction>("NtQuerySymbolicLinkObject");
        if (openLink == nullptr || queryLink == nullptr) {
            printLine("did not find functions\n");
            return nullptr;
        }
        const JavaText linkName(env, name);
        if (linkName.text().size() > 0x7FFE) return nullptr;  // a counted string holds at most 65,534 bytes
        UNICODE_STRING counted;
        counted.Length = counted.MaximumLength = static_cast<USHORT>(linkName.text().size() * sizeof(wchar_t));
        counted.Buffer = const_cast<PWSTR>(linkName.get());
        OBJECT_ATTRIBUTES attributes{};
        attributes.Length = sizeof attributes;
        attributes.ObjectName = &counted;
        unique_handle link;
        NTSTATUS status = openLink(link.put(), GENERIC_READ, &attributes);
        if (status < 0) {
            printLine("could not open link %S %p\n", linkName.get(), status);
            return nullptr;
        }
        UNICODE_STRING target{0, 0, nullptr};
        ULONG length = 0;
        status = queryLink(link.get(), &target, &length);
        if (status != kBufferTooSmall || length > 0xFFFC) {
            printLine("could not query link length %S\n", linkName.get());
            return nullptr;
        }
        std::vector<wchar_t> buffer(length / sizeof(wchar_t) + 1);
        target.Buffer = buffer.data();
        target.MaximumLength = static_cast<USHORT>(length + sizeof(wchar_t));
        status = queryLink(link.get(), &target, &length);
        if (status < 0) {
            printLine("could not query link %S\n", linkName.get());
            return nullptr;
        }
        return wideToJava(env, std::wstring(target.Buffer, target.Length / sizeof(wchar_t)));
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWin32HandleRows[] = {
    PLATFORM_ROW(Win32Handle, list0, "()[Ljava/lang/Object;"),
    PLATFORM_ROW(Win32Handle, close0, "(I)Z"),
    PLATFORM_ROW(Win32Handle, getDeviceName0, "(Ljava/lang/String;)Ljava/lang/String;"),
};
constexpr NativeClass kWin32HandleNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/Win32Handle", kWin32HandleRows);
