// The task dialog under a display, pressed through window messages from a second thread.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dialog_driver.h"
#include "native_fixture.h"
#include "natives/jni_support.h"
#include "natives/shell/vista_task_dialog.h"

namespace {

constexpr jint kAllowCancel = 0x8;  // TDF_ALLOW_DIALOG_CANCELLATION: the close box
constexpr wchar_t kVerification[] = L"Do not ask again";

class VistaTaskDialog : public NativeTest {
protected:
    jint show(const std::wstring& title, HWND parent)
    {
        jobjectArray buttons = wideArrayToJava(env, {L"First", L"Second"});
        return Java_com_stowline_runtime_installer_platform_win32_VistaTaskDialog_show0(
            env, nullptr, handleToJava(parent), str(title.c_str()), str(L"Main instruction"), str(L"Some content"),
            kAllowCancel, 32516 /* IDI_INFORMATION */, 0, str(kVerification), buttons, 1);
    }
};

// Ticks the verification box as a click would (TDM_CLICK_VERIFICATION: checked, no focus).
void tick(HWND dialog) { ::SendMessageW(dialog, TDM_CLICK_VERIFICATION, TRUE, FALSE); }
void press(HWND dialog, int button) { ::SendMessageW(dialog, TDM_CLICK_BUTTON, button, 0); }
void closeBox(HWND dialog) { ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

TEST_F(VistaTaskDialog, AnswersZeroWhileTheCommonControlsAreNotLoaded)
{
    if (::GetModuleHandleW(L"comctl32.dll") != nullptr) GTEST_SKIP() << "an earlier test loaded comctl32";
    EXPECT_EQ(show(L"Never shown", nullptr), 0);
}

TEST_F(VistaTaskDialog, ResultsOfButtonsCloseBoxAndVerification)
{
    if (!displayAvailable()) GTEST_SKIP() << "no display: run under Xvfb to show the task dialog";
    // The launcher's manifest has the common controls loaded before Java runs; Wine's comctl32 has
    // the task dialog in any version (on Windows this needs the version 6 activation context).
    ASSERT_NE(::LoadLibraryW(L"comctl32.dll"), nullptr);
    struct Case {
        const wchar_t* title;
        bool withParent;
        std::function<void(HWND)> actions;
        jint expected;
    };
    const Case cases[] = {
        {L"Second button", false, [](HWND d) { press(d, 102); }, 2},
        {L"First button ticked", false,
         [](HWND d) {
             tick(d);
             press(d, 101);
         },
         -1},
        {L"Close box", false, closeBox, 1000},
        {L"Close box ticked", false,
         [](HWND d) {
             tick(d);
             closeBox(d);
         },
         -1000},
        {L"Second button with a parent", true, [](HWND d) { press(d, 102); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.title, c.title + ::lstrlenW(c.title)));
        HWND parent = nullptr;
        if (c.withParent) {
            parent = ::CreateWindowExW(0, L"STATIC", L"task dialog parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                       300, 200, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
            ASSERT_NE(parent, nullptr);
        }
        HWND owner = nullptr;
        bool secondIsDefault = false, firstIsDefault = true, verificationShown = false;
        DialogDriver driver(c.title, [&](HWND dialog) {
            owner = ::GetWindow(dialog, GW_OWNER);
            auto isDefault = [dialog](const wchar_t* text) {
                HWND button = childWindow(dialog, text, L"Button");
                return button != nullptr && (::GetWindowLongW(button, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON;
            };
            secondIsDefault = isDefault(L"Second");
            verificationShown = childWindow(dialog, kVerification, L"Button") != nullptr;
            firstIsDefault = isDefault(L"First");
            c.actions(dialog);
        });
        const jint result = show(c.title, parent);
        driver.join();
        ASSERT_TRUE(driver.found()) << "result " << result;
        EXPECT_FALSE(driver.forced());
        EXPECT_EQ(result, c.expected);
        EXPECT_TRUE(secondIsDefault);
        EXPECT_FALSE(firstIsDefault);
        EXPECT_TRUE(verificationShown);
        EXPECT_EQ(owner, parent);
        if (parent) ::DestroyWindow(parent);
    }
}

}  // namespace
