#include "natives/services/win32_services.h"

#include <windows.h>
#include <winsvc.h>

#include <string>
#include <vector>

#include "core/service_rules.h"
#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"

namespace {

constexpr jint kNoManager = 5000;
constexpr jint kStopTimedOut = 50001;
constexpr jint kStopUnqueryable = 50002;
constexpr DWORD kConfigBufferSize = 8192;
constexpr DWORD kStopPollMilliseconds = 500;

// Opens the manager with managerAccess and the service with serviceAccess: 0, kNoManager, or
// the error of OpenServiceW. A null name is refused before the manager sees it.
jint openService(JNIEnv* env, jstring name, DWORD managerAccess, DWORD serviceAccess, unique_service& manager,
                 unique_service& service)
{
    manager.reset(::OpenSCManagerW(nullptr, nullptr, managerAccess));
    if (!manager) return kNoManager;
    const JavaText serviceName(env, name);
    if (serviceName.isNull()) return ERROR_INVALID_NAME;
    service.reset(::OpenServiceW(manager.get(), serviceName.get(), serviceAccess));
    if (!service) return static_cast<jint>(::GetLastError());
    return 0;
}

// Runs operation(service) inside the common frame; its result, or the frame's error.
template <typename Operation>
jint onService(JNIEnv* env, jstring name, DWORD managerAccess, DWORD serviceAccess, Operation operation)
{
    unique_service manager;
    unique_service service;
    const jint opened = openService(env, name, managerAccess, serviceAccess, manager, service);
    return opened != 0 ? opened : operation(service.get());
}

jint lastError() { return static_cast<jint>(::GetLastError()); }

// The text as Win32 reads it: up to its first NUL; empty for null.
std::u16string win32Text(const JavaText& text) { return text.isNull() ? u"" : toU16(std::wstring(text.get())); }

// QueryServiceConfigW into an 8,192-byte buffer (a larger configuration fails with 122); 0 or the error.
jint queryConfig(SC_HANDLE service, std::vector<unsigned long long>& buffer)
{
    buffer.assign(kConfigBufferSize / sizeof(unsigned long long), 0);
    DWORD needed = 0;
    if (!::QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()), kConfigBufferSize,
                               &needed))
        return lastError();
    return 0;
}

const QUERY_SERVICE_CONFIGW& config(const std::vector<unsigned long long>& buffer)
{
    return *reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
}

// Waits for a service asked to stop. A service that keeps advancing its check point is waited for
// beyond the time-out; one that shows no progress for longer than its wait hint and the time-out
// is given up on.
jint waitUntilStopped(SC_HANDLE service, DWORD timeout)
{
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service, &status)) return kStopUnqueryable;
    const DWORD start = ::GetTickCount();
    DWORD lastProgress = start;
    DWORD checkPoint = status.dwCheckPoint;
    for (;;) {
        if (status.dwCurrentState == SERVICE_STOPPED) return 0;
        ::Sleep(kStopPollMilliseconds);
        if (!::QueryServiceStatus(service, &status)) return kStopUnqueryable;
        const DWORD now = ::GetTickCount();
        if (status.dwCheckPoint > checkPoint) {
            checkPoint = status.dwCheckPoint;
            lastProgress = now;
            continue;
        }
        if (stopWaitExpired(now, start, lastProgress, status.dwWaitHint, timeout))
            return status.dwCurrentState == SERVICE_STOPPED ? 0 : kStopTimedOut;
    }
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_queryStatus0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        return onService(env, name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, [](SC_HANDLE service) -> jint {
            SERVICE_STATUS status{};
            if (!::QueryServiceStatus(service, &status)) return lastError();
            return -static_cast<jint>(status.dwCurrentState);
        });
    });
}

JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_getServiceBinary0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        std::wstring binary;
        const jint result = onService(env, name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, [&](SC_HANDLE service) -> jint {
            std::vector<unsigned long long> buffer;
            const jint error = queryConfig(service, buffer);
            if (error == 0 && config(buffer).lpBinaryPathName != nullptr) binary = config(buffer).lpBinaryPathName;
            return error;
        });
        return wideToJava(env, result == 0 ? binary : L" " + std::to_wstring(result));
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_getStartType0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        return onService(env, name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, [](SC_HANDLE service) -> jint {
            std::vector<unsigned long long> buffer;
            const jint error = queryConfig(service, buffer);
            return error != 0 ? error : -static_cast<jint>(config(buffer).dwStartType);
        });
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_stopService0(
    JNIEnv* env, jclass, jstring name, jint timeout) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        const DWORD wait = static_cast<DWORD>(timeout);
        return onService(env, name, SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS, [wait](SC_HANDLE service) {
            SERVICE_STATUS status{};
            // A service may report that it stopped and end before its answer to the control is
            // read; the manager then fails the call with a broken pipe (Wine does, at random for a
            // service that stops inside its handler). Whether it stopped is the wait's to tell.
            if (!::ControlService(service, SERVICE_CONTROL_STOP, &status) && ::GetLastError() != ERROR_BROKEN_PIPE)
                return lastError();
            return waitUntilStopped(service, wait);
        });
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_startService0(
    JNIEnv* env, jclass, jstring name, jobjectArray arguments) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        bool failed = false;
        const std::vector<std::wstring> texts = javaArrayToWide(env, arguments, &failed);
        if (failed) return ERROR_INVALID_PARAMETER;
        std::vector<const wchar_t*> pointers;
        for (const std::wstring& text : texts) pointers.push_back(text.c_str());
        return onService(env, name, SC_MANAGER_CONNECT, SERVICE_START, [&](SC_HANDLE service) -> jint {
            const DWORD count = static_cast<DWORD>(pointers.size());
            if (!::StartServiceW(service, count, count == 0 ? nullptr : pointers.data())) return lastError();
            return 0;
        });
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_uninstallService0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        return onService(env, name, SC_MANAGER_ALL_ACCESS, DELETE,
                         [](SC_HANDLE service) -> jint { return ::DeleteService(service) ? 0 : lastError(); });
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_installService0(
    JNIEnv* env, jclass, jstring name, jstring displayName, jstring binaryPath) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        if (!manager) return kNoManager;
        const JavaText serviceName(env, name);
        const JavaText display(env, displayName);
        const JavaText binary(env, binaryPath);
        if (serviceName.isNull()) return ERROR_INVALID_NAME;
        unique_service service(::CreateServiceW(manager.get(), serviceName.get(), display.get(), SERVICE_ALL_ACCESS,
                                                SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                binary.get(), nullptr, nullptr, nullptr, nullptr, nullptr));
        return service ? 0 : lastError();
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_setRestartServiceConfig0(
    JNIEnv* env, jclass, jstring name, jboolean restart, jint delay, jint count, jint resetPeriod) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        auto changeConfig2 = LOADED_FUNCTION(L"advapi32.dll", ChangeServiceConfig2W);
        if (changeConfig2 == nullptr) return 1;
        // The count sizes an allocation: it is checked before anything is built.
        std::vector<int> types;
        if (!restartActionTypes(restart != JNI_FALSE, count, types)) return ERROR_INVALID_PARAMETER;
        const DWORD access = SERVICE_CHANGE_CONFIG | SERVICE_START;
        return onService(env, name, SC_MANAGER_ALL_ACCESS, access, [&](SC_HANDLE service) -> jint {
            // No actions with a non-null array removes the failure actions.
            std::vector<SC_ACTION> actions(types.empty() ? 1 : types.size(), SC_ACTION{SC_ACTION_NONE, 0});
            for (size_t i = 0; i < types.size(); ++i)
                actions[i] = SC_ACTION{types[i] == 1 ? SC_ACTION_RESTART : SC_ACTION_NONE, static_cast<DWORD>(delay)};
            SERVICE_FAILURE_ACTIONSW failure{};
            failure.dwResetPeriod = static_cast<DWORD>(resetPeriod);
            failure.cActions = static_cast<DWORD>(types.size());
            failure.lpsaActions = actions.data();
            return changeConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) ? 0 : lastError();
        });
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_setDelayedAutoStart0(
    JNIEnv* env, jclass, jstring name, jboolean delayed) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        return onService(env, name, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, [&](SC_HANDLE service) -> jint {
            SERVICE_DELAYED_AUTO_START_INFO info{delayed ? TRUE : FALSE};
            return ::ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info) ? 0 : lastError();
        });
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32Services_changeServiceConfig0(
    JNIEnv* env, jclass, jstring name, jstring displayName, jstring binaryPath, jint serviceType, jint startType,
    jstring dependencies, jstring account, jstring password, jstring description) noexcept
{
    return guarded(ERROR_NOT_ENOUGH_MEMORY, [&]() -> jint {
        const JavaText display(env, displayName);
        const JavaText binary(env, binaryPath);
        const JavaText dependencyNames(env, dependencies);
        const JavaText accountName(env, account);
        const JavaText secret(env, password);
        const JavaText about(env, description);
        return onService(env, name, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, [&](SC_HANDLE service) -> jint {
            const std::wstring mapped = toWide(serviceAccountName(win32Text(accountName)));
            std::u16string list;
            // A list that does not fit is refused whole: a cut list would drop dependencies silently.
            if (!dependencyList(win32Text(dependencyNames), list)) return ERROR_INSUFFICIENT_BUFFER;
            const std::wstring dependencyBlock = toWide(list);
            if (!::ChangeServiceConfigW(service, static_cast<DWORD>(serviceType), static_cast<DWORD>(startType),
                                        SERVICE_NO_CHANGE, binary.get(), nullptr, nullptr, dependencyBlock.c_str(),
                                        accountName.isNull() ? nullptr : mapped.c_str(), secret.get(), display.get()))
                return lastError();
            if (!about.isNull()) {
                SERVICE_DESCRIPTIONW text{const_cast<wchar_t*>(about.get())};
                ::ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &text);
            }
            return 0;
        });
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWin32ServicesRows[] = {
    PLATFORM_ROW(Win32Services, installService0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, changeServiceConfig0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, setRestartServiceConfig0, "(Ljava/lang/String;ZIII)I"),
    PLATFORM_ROW(Win32Services, setDelayedAutoStart0, "(Ljava/lang/String;Z)I"),
    PLATFORM_ROW(Win32Services, stopService0, "(Ljava/lang/String;I)I"),
    PLATFORM_ROW(Win32Services, startService0, "(Ljava/lang/String;[Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, uninstallService0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, queryStatus0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, getStartType0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, getServiceBinary0, "(Ljava/lang/String;)Ljava/lang/String;"),
};
constexpr NativeClass kWin32ServicesNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/Win32Services", kWin32ServicesRows);
