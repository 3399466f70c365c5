#include "windows/base/handles.h"
#include "windows/base/system_functions.h"

#include <gtest/gtest.h>

TEST(Handles, NullAndInvalidAreBothEmpty)
{
    unique_handle none;
    EXPECT_FALSE(none);
    unique_file invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid);
    unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_TRUE(event);
}

TEST(Handles, ClosingKeepsTheLastError)
{
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        unique_handle event(raw);
        ::SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The handle was really closed: waiting on it fails now.
    EXPECT_EQ(::WaitForSingleObject(raw, 0), WAIT_FAILED);
}

TEST(Handles, PutClosesTheOldValueAndReleaseGivesOwnershipAway)
{
    unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    EXPECT_TRUE(key);
    HKEY raw = key.release();
    EXPECT_FALSE(key);
    EXPECT_EQ(::RegCloseKey(raw), ERROR_SUCCESS);  // still open after release
}

TEST(ScopeExit, RunsUnlessReleased)
{
    int runs = 0;
    {
        scope_exit count([&runs] { ++runs; });
    }
    {
        scope_exit skipped([&runs] { ++runs; });
        skipped.release();
    }
    EXPECT_EQ(runs, 1);
}

// A group is bound whole or not at all: one missing member, the last one bound, leaves every
// member null, so no caller can reach a half-bound group.
TEST(SystemFunctions, AGroupIsBoundWholeOrNotAtAll)
{
    struct Pair {
        decltype(&::GetTickCount) tick = nullptr;
        decltype(&::GetCurrentProcessId) process = nullptr;
    };
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    struct Case {
        const char* what;
        HMODULE module;
        const char* second;
        GroupBinding expected;
    } cases[] = {
        {"both found", kernel, "GetCurrentProcessId", GroupBinding::Bound},
        {"last one missing", kernel, "NoSuchFunctionAnywhere", GroupBinding::NoFunctions},
        {"no library", nullptr, "GetCurrentProcessId", GroupBinding::NoLibrary},
    };
    for (const Case& c : cases) {
        const BoundGroup<Pair> bound = bindGroup<Pair>(c.module, [&](GroupBinder& bind, Pair& f) {
            bind(f.tick, "GetTickCount")(f.process, c.second);
        });
        EXPECT_EQ(bound.result, c.expected) << c.what;
        EXPECT_EQ(bound.get() != nullptr, c.expected == GroupBinding::Bound) << c.what;
        EXPECT_EQ(bound.functions.tick != nullptr, c.expected == GroupBinding::Bound) << c.what;
    }
}
