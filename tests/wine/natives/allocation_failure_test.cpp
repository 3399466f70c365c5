// A C++ exception inside a native must come back as the family's failure value, never unwind into
// the VM. This program's operator new can be told to throw std::bad_alloc at the Nth allocation
// of the current thread; one native of each family is called with N = 1, 2, ... until it runs
// through without the failure, and every call before that answers its failure value.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "native_fixture.h"
#include "natives/files/folder_info.h"
#include "natives/network/win_inet.h"
#include "natives/pipes/win32_communication_backend.h"
#include "natives/process/misc.h"
#include "natives/registry/registry.h"
#include "natives/services/win32_services.h"
#include "natives/shell/shell_link.h"
#include "natives/window_border/flat_windows_native_window_border.h"

namespace {

// 0: allocations succeed; n > 0: the nth allocation from now throws.
thread_local long allocationsUntilFailure = 0;
thread_local bool allocationFailed = false;

}  // namespace

void* operator new(std::size_t size)
{
    if (allocationsUntilFailure > 0 && --allocationsUntilFailure == 0) {
        allocationFailed = true;
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return ::operator new(size); }

namespace {

using AllocationFailure = NativeTest;

// A result as a number: references as 0 (null) or 1.
int64_t number(jlong value) { return value; }
int64_t number(jobject value) { return value != nullptr ? 1 : 0; }

TEST_F(AllocationFailure, EveryFamilyAnswersItsFailureValue)
{
    // The Java arguments are made before any allocation is made to fail.
    const jstring userKeyPath = str(scratchKey.c_str());
    const jstring agent = str(L"launcher-tests agent");
    const jstring host = str(L"127.0.0.1");
    const jstring directory = str(scratchDirectory.c_str());
    const jstring link = str(scratchFile(L"guarded link.lnk").c_str());
    const jstring missingService = str(L"launcher-tests-no-such-service");
    const jstring pipeName = str((L"\\\\.\\pipe\\launcher-tests-guarded-" + std::to_wstring(::GetCurrentProcessId())).c_str());
    const jstring valueName = str(L"launcher-tests-no-such-value");
    ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_Registry_createKey0(env, nullptr, 2, userKeyPath, 0));
    const jlong invalidPipe = Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_getInvalidHandle0(env, nullptr);
    struct Case {
        const char* family;
        std::function<int64_t()> call;
        int64_t failure;
        bool failureDiffersFromSuccess;
    };
    const Case cases[] = {
        {"registry", [&] { return number(Java_com_stowline_runtime_installer_platform_win32_Registry_keyExists0(env, nullptr, 2, userKeyPath, 0)); },
         JNI_FALSE, true},
        {"files", [&] { return number(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getShortPathName0(env, nullptr, directory)); },
         0, true},
        {"process", [&] { return number(Java_com_stowline_runtime_installer_platform_win32_Misc_getEnvVarPairs0(env, nullptr)); }, 0, true},
        {"shell", [&] { return number(Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
                            env, nullptr, link, directory, nullptr, nullptr, nullptr, JNI_FALSE, nullptr, 1)); },
         JNI_FALSE, false},
        {"services", [&] { return number(Java_com_stowline_runtime_installer_platform_win32_Win32Services_queryStatus0(env, nullptr, missingService)); },
         ERROR_NOT_ENOUGH_MEMORY, true},
        {"pipes", [&] {
             const jlong pipe = Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_createListener0(env, nullptr, pipeName);
             Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_closeHandle0(env, nullptr, pipe);
             return number(pipe);
         }, invalidPipe, true},
        {"network", [&] {
             const jlong connection = Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_connect0(
                 env, nullptr, agent, 1 /* direct */, nullptr, nullptr, 0, host, 1, 0);
             Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_destroy0(env, nullptr, connection);
             return number(connection);
         }, 0, true},
        {"window border", [&] { return number(Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue(
                                    env, nullptr, userKeyPath, valueName, 77)); },
         77, false},
    };
    for (const Case& c : cases) {
        int failures = 0;
        for (long n = 1; n <= 1000; ++n) {
            allocationFailed = false;
            allocationsUntilFailure = n;
            const int64_t result = c.call();
            allocationsUntilFailure = 0;
            if (!allocationFailed) {
                if (c.failureDiffersFromSuccess) {
                    EXPECT_NE(result, c.failure) << c.family << ": the call that ran through";
                }
                break;
            }
            ++failures;
            EXPECT_EQ(result, c.failure) << c.family << ": allocation " << n << " failed";
        }
        EXPECT_GE(failures, 1) << c.family << ": the native allocates nothing, so nothing was tested";
        EXPECT_FALSE(allocationFailed) << c.family << ": still failing after 1000 allocations";
    }
}

}  // namespace
