// Shortcut files made through both forms and read back through the shell's own link object.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "native_fixture.h"
#include "natives/jni_support.h"
#include "natives/shell/shell_link.h"
#include "windows/base/wide_text.h"

namespace {

constexpr DWORD kRunAsUser = 0x2000;
constexpr CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ReadLink {
    bool loaded = false;
    std::wstring target, arguments, directory, icon, description;
    int iconIndex = -1;
    DWORD flags = 0;
};

ReadLink readLink(const std::wstring& file)
{
    ReadLink link;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                  reinterpret_cast<void**>(&shellLink))))
        return link;
    IPersistFile* persist = nullptr;
    IShellLinkDataList* data = nullptr;
    shellLink->QueryInterface(__uuidof(IPersistFile), reinterpret_cast<void**>(&persist));
    shellLink->QueryInterface(__uuidof(IShellLinkDataList), reinterpret_cast<void**>(&data));
    if (persist && data && SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
        link.loaded = true;
        wchar_t buffer[MAX_PATH * 2] = L"";
        // The target as the item id list holds it (Wine's GetPath answers from the link's ANSI copy).
        LPITEMIDLIST items = nullptr;
        if (SUCCEEDED(shellLink->GetIDList(&items)) && items != nullptr) {
            ::SHGetPathFromIDListW(items, buffer);
            link.target = buffer;
            ::CoTaskMemFree(items);
        }
        buffer[0] = 0;
        shellLink->GetArguments(buffer, MAX_PATH * 2);
        link.arguments = buffer;
        buffer[0] = 0;
        shellLink->GetWorkingDirectory(buffer, MAX_PATH * 2);
        link.directory = buffer;
        buffer[0] = 0;
        shellLink->GetIconLocation(buffer, MAX_PATH * 2, &link.iconIndex);
        link.icon = buffer;
        buffer[0] = 0;
        shellLink->GetDescription(buffer, MAX_PATH * 2);
        link.description = buffer;
        data->GetFlags(&link.flags);
    }
    if (data) data->Release();
    if (persist) persist->Release();
    shellLink->Release();
    return link;
}

// A word of a .lnk file's header, read from the file itself: the flags at 20, the show command
// at 60 (Wine's loader does not read the show command back).
DWORD headerWord(const std::wstring& file, size_t offset)
{
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    BYTE header[76] = {};
    DWORD read = 0;
    ::ReadFile(handle, header, sizeof(header), &read, nullptr);
    ::CloseHandle(handle);
    return read == sizeof(header) ? *reinterpret_cast<DWORD*>(header + offset) : 0;
}
DWORD headerFlags(const std::wstring& file) { return headerWord(file, 20); }
DWORD headerShowCommand(const std::wstring& file) { return headerWord(file, 60); }

// Whether this system's link object keeps the run-as flag at all (Wine's SetFlags keeps nothing).
bool platformKeepsRunAs()
{
    IShellLinkW* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                  reinterpret_cast<void**>(&shellLink))))
        return false;
    IShellLinkDataList* data = nullptr;
    DWORD flags = 0;
    if (SUCCEEDED(shellLink->QueryInterface(__uuidof(IShellLinkDataList), reinterpret_cast<void**>(&data)))) {
        data->SetFlags(kRunAsUser);
        data->GetFlags(&flags);
        data->Release();
    }
    shellLink->Release();
    return (flags & kRunAsUser) != 0;
}

void touch(const std::wstring& file)
{
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ::CloseHandle(handle);
}

class ShellLink : public NativeTest {
protected:
    void SetUp() override
    {
        NativeTest::SetUp();
        EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_initialize0(env, nullptr));
    }
    void TearDown() override
    {
        EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_uninitialize(env, nullptr));
        NativeTest::TearDown();
    }
    jbyteArray ansi(const char* text, bool terminated = true)
    {
        if (text == nullptr) return nullptr;
        return bytesToJava(env, text, std::strlen(text) + (terminated ? 1 : 0));
    }
};

TEST_F(ShellLink, WideShortcutsRoundTrip)
{
    struct Case {
        const wchar_t* linkName;
        const wchar_t* targetName;
        const wchar_t* arguments;
        const wchar_t* description;
        bool runAs;
        int show;
    };
    const Case cases[] = {
        {L"plain.lnk", L"tool.exe", L"--mode fast \"two words\"", L"A plain shortcut", false, SW_SHOWNORMAL},
        {L"Кириллица.lnk", L"программа.exe", L"-путь Ж", L"Описание", true, SW_SHOWMAXIMIZED},
        {L"漢字のリンク.lnk", L"設定.exe", L"/開く", L"説明文", false, SW_SHOWMINNOACTIVE},
        {L"rocket \U0001F680.lnk", L"launch \U0001F680.exe", L"\U0001F600", L"emoji \U0001F680", true, SW_SHOWNORMAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        const std::wstring target = scratchFile(c.targetName);
        const std::wstring icon = scratchFile(L"icons.dll");
        const std::wstring file = scratchFile(c.linkName);
        touch(target);
        ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
            env, nullptr, str(file.c_str()), str(target.c_str()), str(scratchDirectory.c_str()), str(icon.c_str()),
            str(c.arguments), c.runAs, str(c.description), c.show));
        const ReadLink link = readLink(file);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, target);
        EXPECT_EQ(link.arguments, c.arguments);
        EXPECT_EQ(link.directory, scratchDirectory);
        EXPECT_EQ(link.icon, icon);
        EXPECT_EQ(link.iconIndex, 0);
        EXPECT_EQ(link.description, c.description);
        EXPECT_EQ(headerShowCommand(file), static_cast<DWORD>(c.show));
        // Saved with the flag asked for as well; the flag itself is the next test's.
        if (!c.runAs) {
            EXPECT_EQ(link.flags & kRunAsUser, 0u);
            EXPECT_EQ(headerFlags(file) & kRunAsUser, 0u);
        }
    }
}

TEST_F(ShellLink, RunAsAdministratorIsSavedInTheLinkFlags)
{
    if (!platformKeepsRunAs())
        GTEST_SKIP() << "this system's IShellLinkDataList::SetFlags keeps no flags (Wine): only Windows shows the "
                        "run-as flag in the saved file";
    const std::wstring target = scratchFile(L"admin.exe");
    touch(target);
    const std::wstring wide = scratchFile(L"wide.lnk"), narrow = scratchFile(L"narrow.lnk");
    ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
        env, nullptr, str(wide.c_str()), str(target.c_str()), nullptr, nullptr, nullptr, true, nullptr, SW_SHOWNORMAL));
    ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
        env, nullptr, str(narrow.c_str()), ansi(wideToNarrow(target).c_str()), nullptr, nullptr, nullptr, true,
        nullptr));
    for (const std::wstring& file : {wide, narrow}) {
        EXPECT_NE(readLink(file).flags & kRunAsUser, 0u);
        EXPECT_NE(headerFlags(file) & kRunAsUser, 0u);
    }
}

TEST_F(ShellLink, AbsentTextsAreLeftEmptyAndAMissingFileNameFails)
{
    const std::wstring target = scratchFile(L"bare.exe");
    const std::wstring file = scratchFile(L"bare.lnk");
    touch(target);
    ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
        env, nullptr, str(file.c_str()), str(target.c_str()), nullptr, nullptr, nullptr, false, nullptr,
        SW_SHOWNORMAL));
    const ReadLink link = readLink(file);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, target);
    EXPECT_EQ(link.arguments, L"");
    EXPECT_EQ(link.description, L"");
    EXPECT_EQ(link.flags & kRunAsUser, 0u);

    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
        env, nullptr, nullptr, str(target.c_str()), nullptr, nullptr, nullptr, false, nullptr, SW_SHOWNORMAL));
    // A directory that does not exist cannot hold the file.
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
        env, nullptr, str(scratchFile(L"missing\\x.lnk").c_str()), str(target.c_str()), nullptr, nullptr, nullptr,
        false, nullptr, SW_SHOWNORMAL));
}

TEST_F(ShellLink, NarrowShortcutsReadTheirBytesUpToTheFirstNul)
{
    // Code page 1252: 0xE9 is é.
    const std::wstring target = scratchFile(L"caf\u00e9.exe");
    touch(target);
    const std::string narrowTarget = wideToNarrow(target);
    struct Case {
        const wchar_t* linkName;
        bool terminated;
        bool runAs;
    };
    for (const Case& c : {Case{L"narrow.lnk", true, false}, Case{L"unterminated.lnk", false, true}}) {
        SCOPED_TRACE(testing::Message() << (c.terminated ? "terminated" : "unterminated"));
        const std::wstring file = scratchFile(c.linkName);
        ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
            env, nullptr, str(file.c_str()), ansi(narrowTarget.c_str(), c.terminated),
            ansi(wideToNarrow(scratchDirectory).c_str(), c.terminated), ansi("shell32.dll", c.terminated),
            ansi("-x caf\xe9", c.terminated), c.runAs, ansi("Caf\xe9 d\xe9j\xe0 vu", c.terminated)));
        const ReadLink link = readLink(file);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, target);
        EXPECT_EQ(link.directory, scratchDirectory);
        EXPECT_EQ(link.icon, L"shell32.dll");
        EXPECT_EQ(link.arguments, L"-x caf\u00e9");
        EXPECT_EQ(link.description, L"Caf\u00e9 d\u00e9j\u00e0 vu");
        EXPECT_EQ(headerShowCommand(file), static_cast<DWORD>(SW_SHOWNORMAL)) << "the link's default";
    }
    // Bytes after an embedded NUL are not part of the text.
    const std::wstring file = scratchFile(L"embedded.lnk");
    const char arguments[] = "first\0second";
    ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
        env, nullptr, str(file.c_str()), ansi(narrowTarget.c_str()), nullptr, nullptr,
        bytesToJava(env, arguments, sizeof(arguments)), false, nullptr));
    EXPECT_EQ(readLink(file).arguments, L"first");
}

TEST_F(ShellLink, ChangeNotifyAnswersTrueForAnyPathBytes)
{
    const std::wstring directory = scratchDirectory;
    const jbyteArray terminated = bytesToJava(env, directory.c_str(), (directory.size() + 1) * sizeof(wchar_t));
    const jbyteArray unterminated = bytesToJava(env, directory.c_str(), directory.size() * sizeof(wchar_t) - 1);
    const jbyteArray empty = bytesToJava(env, "", 0);
    const jbyteArray pairs[][2] = {{terminated, terminated}, {unterminated, empty}, {nullptr, nullptr}};
    for (const auto& pair : pairs)
        EXPECT_TRUE(
            Java_com_stowline_runtime_installer_platform_win32_ShellLink_changeNotify0(env, nullptr, pair[0], pair[1]));
}

}  // namespace
