// Win32Handle on this test process's own handles and the object manager's links.
#include "natives/files/win32_handle.h"

#include <gtest/gtest.h>

#include "native_fixture.h"
#include "native_output.h"
#include "natives/jni_support.h"
#include "windows/base/handles.h"

namespace {

class Win32Handle : public NativeTest {};

TEST_F(Win32Handle, ListsOpenFilesAndClosesThem)
{
    // The second file's handle comes after enough others to lie above 0xFFFF.
    unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<unique_handle> filler;
    const wchar_t* files[] = {L"held.txt", L"high.txt"};
    for (const wchar_t* leaf : files) {
        SCOPED_TRACE(testing::Message() << leaf);
        const std::wstring path = scratchFile(leaf);
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const jint value = static_cast<jint>(reinterpret_cast<ULONG_PTR>(file));

        jobjectArray list = Java_com_stowline_runtime_installer_platform_win32_Win32Handle_list0(env, nullptr);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ((*env)->GetArrayLength(env, list), 2);
        std::vector<jint> handles = javaToInts(env, static_cast<jintArray>((*env)->GetObjectArrayElement(env, list, 0)));
        std::vector<std::wstring> names = texts((*env)->GetObjectArrayElement(env, list, 1));
        ASSERT_EQ(handles.size(), names.size());
        auto found = std::find(handles.begin(), handles.end(), value);
        ASSERT_NE(found, handles.end()) << value;
        const std::wstring name = names[static_cast<size_t>(found - handles.begin())];
        EXPECT_EQ(name.substr(name.size() - 9), std::wstring(L"\\") + leaf) << name.c_str();

        EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_Win32Handle_close0(env, nullptr, value));
        DWORD flags = 0;
        EXPECT_FALSE(::GetHandleInformation(file, &flags));  // closed in this process
        EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Win32Handle_close0(env, nullptr, value));
        EXPECT_TRUE(::DeleteFileW(path.c_str()));  // nothing holds the file any more
        while (filler.size() < 0x4000) {
            filler.emplace_back();
            ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), event.get(), ::GetCurrentProcess(),
                                          filler.back().put(), 0, FALSE, DUPLICATE_SAME_ACCESS));
        }
    }
}

TEST_F(Win32Handle, DeviceNamesOfLinks)
{
    const std::wstring drive =
        text(Java_com_stowline_runtime_installer_platform_win32_Win32Handle_getDeviceName0(env, nullptr, str(L"\\??\\C:")));
    EXPECT_EQ(drive.rfind(L"\\Device\\", 0), 0u) << drive.c_str();

    struct Case {
        const wchar_t* name;
        std::string printed;
    };
    const Case cases[] = {
        {nullptr, ""},
        {L"\\??\\NoSuchLinkForLauncherTests", "could not open link \\??\\NoSuchLinkForLauncherTests "},
    };
    for (const Case& c : cases) {
        CapturedOutput output(scratchFile(L"out.txt"));
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32Handle_getDeviceName0(env, nullptr, str(c.name)), nullptr);
        const std::string printed = output.finish();
        EXPECT_EQ(printed.substr(0, c.printed.size()), c.printed);
        EXPECT_EQ(printed.empty(), c.printed.empty()) << printed;
    }
}

}  // namespace
