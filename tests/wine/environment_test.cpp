#include "windows/process_environment.h"

#include <gtest/gtest.h>

#include <string>

#include "core/config_format.h"
#include "core/config_keys.h"
#include "windows/config_block.h"
#include "windows/base/handles.h"
#include "windows/temp_dirs.h"

namespace {

std::wstring variable(const wchar_t* name)
{
    DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    size = ::GetEnvironmentVariableW(name, value.data(), size);
    value.resize(size);
    return value;
}

// Runs a command line and returns what it wrote on standard output.
std::string childOutput(std::wstring command)
{
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    unique_handle readEnd;
    unique_handle writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &security, 0)) return {};
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process))
        return {};
    unique_handle processHandle(process.hProcess);
    unique_handle threadHandle(process.hThread);
    writeEnd.reset();
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    ::WaitForSingleObject(processHandle.get(), 10000);
    return output;
}

// Keeps PATH and the config tables as they were.
class Environment : public ::testing::Test {
protected:
    void SetUp() override { savedPath_ = variable(L"PATH"); }
    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"PATH", savedPath_.c_str());
        ::_wputenv_s(L"PATH", savedPath_.c_str());
        useConfigBlock(ConfigBlock());
    }
    void configure(int32_t key, const std::string& value)
    {
        block_.strings[key] = value;
        useConfigBlock(block_);
    }

    std::wstring savedPath_;
    ConfigBlock block_;
};

}  // namespace

TEST_F(Environment, PathEntriesOutsideTheCodePageSurviveTheNativeLibraryPrefix)
{
    configure(keys::kNativeLibraryDirectories, "lib");
    const std::wstring old = L"C:\\\u0416\u0443\u043a\\bin;C:\\plain";
    ::SetEnvironmentVariableW(L"PATH", old.c_str());
    addNativeLibraryDirectories();
    EXPECT_EQ(variable(L"PATH"), executableDirectoryWide() + L"lib;" + old);
    // The C runtime's copy agrees, so a runtime that reads it sees the same PATH.
    EXPECT_EQ(std::wstring(_wgetenv(L"PATH")), variable(L"PATH"));
}

TEST_F(Environment, AChildProcessDoesNotSeeTheClearedJavaOptionVariables)
{
    for (const wchar_t* name : {L"_JAVA_OPTIONS", L"JDK_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS"}) {
        ::SetEnvironmentVariableW(name, L"-Dinjected=1");
        ::_wputenv_s(name, L"-Dinjected=1");
    }
    ::SetEnvironmentVariableW(L"STOWLINE_TEST_MARKER", L"present");
    clearJavaOptionVariables();
    for (const wchar_t* name : {L"_JAVA_OPTIONS", L"JDK_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS"}) {
        EXPECT_EQ(::GetEnvironmentVariableW(name, nullptr, 0), 0u);
        const wchar_t* runtimeCopy = _wgetenv(name);
        EXPECT_TRUE(runtimeCopy == nullptr || *runtimeCopy == L'\0');
    }
    wchar_t system[MAX_PATH + 1];
    UINT length = ::GetSystemDirectoryW(system, MAX_PATH + 1);
    const std::string output = childOutput(std::wstring(system, length) + L"\\cmd.exe /C set");
    EXPECT_NE(output.find("STOWLINE_TEST_MARKER=present"), std::string::npos) << output;
    EXPECT_EQ(output.find("injected"), std::string::npos) << output;
}

TEST(CommonControls, LoadedOnTheirThreadOnceAwaited)
{
    if (::GetModuleHandleW(L"comctl32.dll") != nullptr) {
        // An earlier test of this run loaded comctl32: the check runs alone in a new process.
        wchar_t self[MAX_PATH];
        ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
        const std::string output = childOutput(L"\"" + std::wstring(self) + L"\" --gtest_filter=CommonControls.*");
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
        return;
    }
    awaitCommonControls();  // never started: returns at once
    EXPECT_EQ(::GetModuleHandleW(L"comctl32.dll"), nullptr);
    startCommonControls();
    awaitCommonControls();
    EXPECT_NE(::GetModuleHandleW(L"comctl32.dll"), nullptr);
    awaitCommonControls();  // and again, as the dialog and the launch step both wait
}
