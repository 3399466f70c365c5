#include "windows/process_environment.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "windows/base/handles.h"

namespace {

bool consoleAvailable()
{
    unique_file output(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    // Without a display Wine's console answers no mode queries; that it opens is the test.
    return static_cast<bool>(output);
}

}  // namespace

// "-c" and "-console": a process started without a console gets one, and asking again while one
// is attached still succeeds (the attach fails with ERROR_ACCESS_DENIED: one is already there).
TEST(Console, AttachOrAllocateGivesTheProcessAConsole)
{
    ::FreeConsole();
    ASSERT_FALSE(consoleAvailable()) << "the test needs a process without a console";
    EXPECT_TRUE(attachConsole());
    EXPECT_TRUE(consoleAvailable());
    EXPECT_TRUE(attachConsole());
    EXPECT_TRUE(consoleAvailable());
    ::FreeConsole();
}
