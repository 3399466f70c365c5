// FileVersion.compare0 on four small DLLs that differ only in their file version.
#include "natives/files/file_version.h"

#include <gtest/gtest.h>

#include <fstream>

#include "native_fixture.h"

namespace {

class FileVersion : public NativeTest {};

TEST_F(FileVersion, ComparesUnsignedHalvesAndFailsWithoutVersion)
{
    const std::wstring tests = testDirectory();
    const std::wstring doubles = tests.substr(0, tests.find_last_of(L'\\')) + L"\\doubles\\version_dlls\\";
    const std::wstring v1_2 = doubles + L"version_1_2_0_0.dll", v1_10 = doubles + L"version_1_10_0_0.dll";
    const std::wstring v1_10_40000 = doubles + L"version_1_10_40000_0.dll", v40000 = doubles + L"version_40000_0_0_0.dll";
    const std::wstring plain = scratchFile(L"plain.txt");
    std::ofstream(plain.c_str()) << "no version here";
    const std::wstring missing = scratchFile(L"missing.dll");
    struct Case {
        const std::wstring* first;
        const std::wstring* second;
        jint result;
    };
    const Case cases[] = {
        {&v1_2, &v1_10, 2},           // by number, not by text
        {&v1_10, &v1_2, 1},
        {&v1_10, &v1_10, 0},
        {&v40000, &v1_10, 1},         // high half above 0x7FFFFFFF
        {&v1_10, &v40000, 2},
        {&v1_10_40000, &v1_10, 1},    // low half above 0x7FFFFFFF
        {&v1_10, &v1_10_40000, 2},
        {&plain, &v1_2, 3},
        {&v1_2, &plain, 3},
        {&missing, &v1_2, 3},
        {nullptr, &v1_2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.first ? c.first->c_str() : L"null") << " vs " << c.second->c_str());
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_FileVersion_compare0(
                      env, nullptr, c.first ? str(c.first->c_str()) : nullptr, str(c.second->c_str())),
                  c.result);
    }
}

TEST_F(FileVersion, ConcurrentFirstCallsAllReadTheVersion)
{
    if (!inFreshProcess()) return;
    const std::wstring tests = testDirectory();
    const std::wstring dll = tests.substr(0, tests.find_last_of(L'\\')) + L"\\doubles\\version_dlls\\version_1_2_0_0.dll";
    jint results[8];
    atOnce(8, [&](int i) {
        JNIEnv* threadEnv = nullptr;
        (*vm)->AttachCurrentThread(vm, reinterpret_cast<void**>(&threadEnv), nullptr);
        auto path = [&] {
            return (*threadEnv)->NewString(threadEnv, reinterpret_cast<const jchar*>(dll.c_str()), static_cast<jsize>(dll.size()));
        };
        results[i] = Java_com_stowline_runtime_installer_platform_win32_FileVersion_compare0(threadEnv, nullptr, path(), path());
        (*vm)->DetachCurrentThread(vm);
    });
    for (jint result : results) EXPECT_EQ(result, 0);
}

}  // namespace
