// The VM thread's stack and fallback, options files with includes, and class path entries on a
// real file system.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/config_format.h"
#include "core/config_keys.h"
#include "windows/config_block.h"
#include "windows/jvm_launch.h"
#include "windows/temp_dirs.h"
#include "windows/vm_options.h"
#include "windows/base/wide_text.h"

namespace {

struct ThreadFacts {
    DWORD threadId = 0;
    SIZE_T reserved = 0;
    bool result = true;
};

bool recordThread(void* context)
{
    auto* facts = static_cast<ThreadFacts*>(context);
    facts->threadId = ::GetCurrentThreadId();
    // The stack is one reservation: sum its regions from the allocation base up.
    MEMORY_BASIC_INFORMATION region{};
    ::VirtualQuery(&region, &region, sizeof region);
    void* base = region.AllocationBase;
    const char* address = static_cast<const char*>(base);
    while (::VirtualQuery(address, &region, sizeof region) == sizeof region && region.AllocationBase == base) {
        facts->reserved += region.RegionSize;
        address += region.RegionSize;
    }
    return facts->result;
}

TEST(VmThread, ReservesTheRequestedStackOnItsOwnThread)
{
    ThreadFacts facts;
    EXPECT_TRUE(runOnVmThread(64ull << 20, recordThread, &facts));
    EXPECT_NE(facts.threadId, ::GetCurrentThreadId());
    EXPECT_GE(facts.reserved, static_cast<SIZE_T>(64u << 20));

    ThreadFacts failing;
    failing.result = false;
    EXPECT_FALSE(runOnVmThread(0, recordThread, &failing));
    EXPECT_NE(failing.threadId, ::GetCurrentThreadId());
    EXPECT_LT(failing.reserved, static_cast<SIZE_T>(64u << 20));  // 0 is the system default, not a huge stack
}

TEST(VmThread, RunsOnTheCallingThreadWhenNoThreadCanBeCreated)
{
    ThreadFacts facts;
    EXPECT_TRUE(runOnVmThread(1ull << 62, recordThread, &facts));
    EXPECT_EQ(facts.threadId, ::GetCurrentThreadId());
}

// A scratch directory below the Wine user's temp directory, removed afterwards.
class ScratchDirectory : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        root = std::wstring(temp) + L"launch_test_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(root.c_str(), nullptr);
    }
    void TearDown() override
    {
        deleteTree(wideToNarrow(root.substr(0, root.size() - 1)), true);
        useConfigBlock(ConfigBlock());
    }
    void write(const std::wstring& relative, const std::string& content)
    {
        size_t slash = relative.rfind(L'\\');
        if (slash != std::wstring::npos) ::CreateDirectoryW((root + relative.substr(0, slash)).c_str(), nullptr);
        HANDLE file = ::CreateFileW((root + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    std::wstring root;
};

class OptionsFiles : public ScratchDirectory {};

TEST_F(OptionsFiles, IncludesNestRelativeToTheirFileAndCyclesStop)
{
    write(L"main.vmoptions",
          "# heading comment\r\n\r\n   -Xmx512m   \r\n-include-options sub\\inner.vmoptions\r\n"
          "-classpath/a first.jar\r\n-classpath/a second.jar\r\n-Dlast=1\r\n");
    write(L"sub\\inner.vmoptions",
          "-Dinner=1\n-include-options ..\\main.vmoptions\n-include-options deeper.vmoptions\n"
          "-include-options missing.vmoptions\n");
    write(L"sub\\deeper.vmoptions", "-Ddeeper=a b c\n-classpath/p pre.jar\n");

    std::vector<std::string> options;
    ClassPathOverrides overrides;
    OptionTargets targets;
    targets.options = &options;
    targets.overrides = &overrides;
    ASSERT_TRUE(readOptionsFile(root + L"main.vmoptions", root + L"main.vmoptions", targets));
    EXPECT_EQ(options, (std::vector<std::string>{"-Xmx512m", "-Dinner=1", "-Ddeeper=a b c", "-Dlast=1"}));
    EXPECT_TRUE(overrides.hasAppend);
    EXPECT_EQ(overrides.append, "second.jar");
    EXPECT_EQ(overrides.prepend, "pre.jar");
    EXPECT_FALSE(overrides.hasReplacement);
    EXPECT_TRUE(targets.openFiles.empty());

    EXPECT_FALSE(readOptionsFile(root + L"nothing.vmoptions", root, targets));
    EXPECT_EQ(options.size(), 4u);
}

TEST_F(OptionsFiles, ArgumentFilesStayWithoutTheRuntimeLibrary)
{
    std::vector<std::string> options{"-Da", "@" + wideToNarrow(root) + "args.txt"};
    std::vector<std::string> before = options;
    expandArgumentFiles(options, wideToNarrow(root.substr(0, root.size() - 1)));
    EXPECT_EQ(options, before);
}

class PathEntries : public ScratchDirectory {};

TEST_F(PathEntries, EachEntryKindAppendsItsPaths)
{
    write(L"lib\\b.jar", "");
    write(L"lib\\a.zip", "");
    write(L"lib\\c.jarx", "");  // "*.jar" also finds this through its short name
    write(L"lib\\notes.txt", "");
    ::CreateDirectoryW((root + L"lib\\dir.jar").c_str(), nullptr);
    ::SetEnvironmentVariableW(L"LAUNCH_TEST_CP", L"\"x.jar;y.jar\"");
    ::SetEnvironmentVariableW(L"LAUNCH_TEST_UNSET", nullptr);

    std::string lib = wideToNarrow(root) + "lib";
    ConfigBlock block;
    block.strings[keys::kClassPath] =
        "S0" + lib + ";A0" + wideToNarrow(root) + "app.jar;E0LAUNCH_TEST_CP;E0LAUNCH_TEST_UNSET;X1ignored";
    block.strings[keys::kModulePath] = "S1" + lib + ";D0" + wideToNarrow(root) + "mods";
    useConfigBlock(block);

    std::string classPath;
    addPathEntries(keys::kClassPath, classPath, false);
    EXPECT_EQ(classPath, lib + "\\b.jar;" + lib + "\\a.zip;" + wideToNarrow(root) + "app.jar;x.jar;y.jar;");

    std::string modulePath;
    addPathEntries(keys::kModulePath, modulePath, true);
    EXPECT_EQ(modulePath, lib + ";" + wideToNarrow(root) + "mods;");
}

}  // namespace
