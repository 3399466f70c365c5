#include "windows/base/handles.h"

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
