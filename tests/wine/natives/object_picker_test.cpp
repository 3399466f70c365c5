// The directory object picker: its failure paths, which are all that Wine can show.
#include <windows.h>

#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "native_fixture.h"
#include "native_output.h"
#include "natives/shell/object_picker.h"

namespace {

using ObjectPicker = NativeTest;

jobjectArray pick(JNIEnv* env, bool multi, bool groups, bool users, bool wellKnown, bool localOnly)
{
    return Java_com_stowline_runtime_installer_platform_win32_ObjectPicker_show0(env, nullptr, multi, groups, users,
                                                                                 wellKnown, localOnly);
}

TEST_F(ObjectPicker, AnswersNullWhenItCannotPick)
{
    const bool flags[][5] = {
        {true, true, true, true, false}, {false, false, true, false, true}, {false, true, false, true, true}};
    // Without a display the process has no visible window to own the picker ("could not find window").
    CapturedOutput printed(scratchFile(L"out.txt"));
    for (const auto& f : flags) EXPECT_EQ(pick(env, f[0], f[1], f[2], f[3], f[4]), nullptr);
    EXPECT_EQ(printed.finish(), "could not find window\ncould not find window\ncould not find window\n");
    if (!displayAvailable()) GTEST_SKIP() << "no display: the owned picker case needs Xvfb";
    // With an owner the picker is created, initialised and invoked; Wine's picker answers S_FALSE
    // without a selection, as a cancelled picker does on Windows: null again.
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"picker owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                   nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    for (const auto& f : flags) EXPECT_EQ(pick(env, f[0], f[1], f[2], f[3], f[4]), nullptr);
    ::DestroyWindow(owner);
}

}  // namespace
