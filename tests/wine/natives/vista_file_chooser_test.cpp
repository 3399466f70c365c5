// The shell's open and save dialogs under a display, driven through window messages.
#include <windows.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "native_fixture.h"
#include "natives/jni_support.h"
#include "natives/shell/vista_file_chooser.h"

namespace {

void touch(const std::wstring& file)
{
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ::CloseHandle(handle);
}

std::vector<bool> javaBooleans(JNIEnv* env, jbooleanArray array)
{
    std::vector<bool> values;
    for (jsize i = 0; i < (*env)->GetArrayLength(env, array); ++i) {
        jboolean value = JNI_FALSE;
        (*env)->GetBooleanArrayRegion(env, array, i, 1, &value);
        values.push_back(value != JNI_FALSE);
    }
    return values;
}

// Toggles a check box as a click does: the new state, then BN_CLICKED to its parent.
void click(HWND dialog, const wchar_t* text)
{
    HWND box = childWindow(dialog, text, L"Button");
    if (box == nullptr) return;
    const bool checked = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    ::SendMessageW(box, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
    ::SendMessageW(::GetParent(box), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(box), BN_CLICKED),
                   reinterpret_cast<LPARAM>(box));
}
void typeName(HWND dialog, const wchar_t* name)
{
    ::SendMessageW(childWindow(dialog, L"", L"Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
}
void accept(HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, IDOK, 0); }
void cancel(HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }

class VistaFileChooser : public NativeTest {
protected:
    void SetUp() override
    {
        NativeTest::SetUp();
        if (!displayAvailable()) GTEST_SKIP() << "no display: run under Xvfb to show the file dialog";
        Java_com_stowline_runtime_installer_platform_win32_VistaFileChooser_initialize0(env, nullptr);
    }
    void TearDown() override
    {
        ::CoUninitialize();
        NativeTest::TearDown();
    }
};

TEST_F(VistaFileChooser, ChoicesCancelAndCheckBoxes)
{
    touch(scratchFile(L"a.txt"));
    touch(scratchFile(L"b.txt"));
    touch(scratchFile(L"exists.txt"));
    struct Case {
        const wchar_t* title;
        bool save;
        const wchar_t* fileName;
        jint setOptions, clearOptions;
        jint filterIndex;
        std::vector<std::wstring> labels;
        std::vector<bool> states;
        std::function<void(HWND)> actions;
        std::vector<std::wstring> expected;  // empty: null
        std::vector<bool> expectedStates;
        int expectedFilter;  // selection of the type list (-1: not checked)
        bool grouped;
    };
    // clang-format off
    const Case cases[] = {
        // title, save, file name, options set, cleared, filter index, boxes, their states, actions,
        // expected files, expected states, expected type list selection, grouped
        {L"Cancelled open", false, nullptr, 0, 0, 1, {L"Alpha", L"Beta"}, {true, false},
         [](HWND d) { click(d, L"Beta"); cancel(d); }, {}, {true, false}, 1, true},
        {L"Save with one box", true, L"report", 0, 0, 0, {L"Open after saving"}, {false},
         [](HWND d) { click(d, L"Open after saving"); accept(d); }, {L"report.txt"}, {true}, 0, false},
        {L"Save over a file without asking", true, L"exists.txt", 0, FOS_OVERWRITEPROMPT, 0, {}, {},
         accept, {L"exists.txt"}, {}, 0, false},
        {L"Open two", false, nullptr, FOS_ALLOWMULTISELECT, 0, -1, {L"One", L"Two"}, {false, true},
         [](HWND d) { click(d, L"One"); typeName(d, L"\"a.txt\" \"b.txt\""); accept(d); }, {L"a.txt", L"b.txt"},
         {true, true}, 0, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.title, c.title + ::lstrlenW(c.title)));
        jbooleanArray states = (*env)->NewBooleanArray(env, static_cast<jsize>(c.states.size()));
        writeBooleans(env, states, c.states);
        bool okLabelShown = false, grouped = false;
        int filter = -2;
        DialogDriver driver(c.title, [&](HWND dialog) {
            okLabelShown = childWindow(dialog, L"Choose", L"Button") != nullptr;
            grouped = childWindow(dialog, L"Options:") != nullptr;
            HWND types = childWindow(dialog, L"", L"ComboBox");
            if (types) filter = static_cast<int>(::SendMessageW(types, CB_GETCURSEL, 0, 0));
            c.actions(dialog);
        });
        jobjectArray result = Java_com_stowline_runtime_installer_platform_win32_VistaFileChooser_displayDialog0(
            env, nullptr, 0, str(c.title), str(L"Choose"), str(scratchDirectory.c_str()), str(c.fileName), c.setOptions,
            c.clearOptions, c.save, str(L"txt"), wideArrayToJava(env, {L"Text files", L"All files"}),
            wideArrayToJava(env, {L"*.txt", L"*.*"}), c.filterIndex,
            c.labels.empty() ? nullptr : wideArrayToJava(env, c.labels), c.labels.empty() ? nullptr : states);
        driver.join();
        ASSERT_TRUE(driver.found());
        EXPECT_FALSE(driver.forced());
        std::vector<std::wstring> expected;
        for (const std::wstring& name : c.expected) expected.push_back(scratchFile(name.c_str()));
        if (expected.empty()) {
            EXPECT_EQ(result, nullptr);
        } else {
            EXPECT_EQ(texts(result), expected);
        }
        EXPECT_EQ(javaBooleans(env, states), c.expectedStates);
        EXPECT_TRUE(okLabelShown);
        EXPECT_EQ(grouped, c.grouped);
        if (c.expectedFilter >= 0) {
            EXPECT_EQ(filter, c.expectedFilter);
        }
    }
}

}  // namespace
