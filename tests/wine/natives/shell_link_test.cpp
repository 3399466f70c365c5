// Shortcut files made through both forms and read back through the shell's own link object.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "native_fixture.h"
#include "natives/jni_support.h"
#include "natives/shell/shell_link.h"
#include "windows/base/handles.h"
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
    com_ptr<IShellLinkW> shellLink;
    ::CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), shellLink.putVoid());
    com_ptr<IPersistFile> persist = shellLink.query<IPersistFile>(__uuidof(IPersistFile));
    com_ptr<IShellLinkDataList> data = shellLink.query<IShellLinkDataList>(__uuidof(IShellLinkDataList));
    if (!persist || !data || FAILED(persist->Load(file.c_str(), STGM_READ))) return link;
    link.loaded = true;
    // The target as the item id list holds it (Wine's GetPath answers from the link's ANSI copy).
    wchar_t buffer[MAX_PATH * 2] = L"";
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(shellLink->GetIDList(&items)) && items != nullptr && ::SHGetPathFromIDListW(items, buffer))
        link.target = buffer;
    ::CoTaskMemFree(items);
    auto read = [&buffer](auto getter) { return buffer[0] = 0, getter(), std::wstring(buffer); };
    link.arguments = read([&] { shellLink->GetArguments(buffer, MAX_PATH * 2); });
    link.directory = read([&] { shellLink->GetWorkingDirectory(buffer, MAX_PATH * 2); });
    link.icon = read([&] { shellLink->GetIconLocation(buffer, MAX_PATH * 2, &link.iconIndex); });
    link.description = read([&] { shellLink->GetDescription(buffer, MAX_PATH * 2); });
    data->GetFlags(&link.flags);
    return link;
}

// A word of the file's header: the flags at 20, the show command at 60 (read from the file, as
// Wine's loader does not read the show command back).
DWORD headerWord(const std::wstring& file, size_t offset)
{
    unsigned char header[76] = {};
    FILE* in = ::_wfopen(file.c_str(), L"rb");
    const bool whole = in != nullptr && std::fread(header, 1, sizeof(header), in) == sizeof(header);
    if (in != nullptr) std::fclose(in);
    DWORD value = 0;
    if (whole) std::memcpy(&value, header + offset, sizeof(value));
    return value;
}

void touch(const std::wstring& file)
{
    ::CloseHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
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
    jbyteArray ansi(const std::string& text, bool terminated = true)
    {
        return bytesToJava(env, text.c_str(), text.size() + (terminated ? 1 : 0));
    }
    jboolean createWide(const std::wstring& file, const std::wstring& target, const wchar_t* directory,
                        const wchar_t* icon, const wchar_t* arguments, bool runAs, const wchar_t* description, int show)
    {
        return Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
            env, nullptr, str(file.c_str()), str(target.c_str()), str(directory), str(icon), str(arguments), runAs,
            str(description), show);
    }
};

TEST_F(ShellLink, WideShortcutsRoundTrip)
{
    const std::wstring icon = scratchFile(L"icons.dll");
    struct Case {
        const wchar_t *linkName, *targetName, *arguments, *description;
        bool runAs;
        int show;
    };
    const Case cases[] = {
        {L"plain.lnk", L"tool.exe", L"--mode fast \"two words\"", L"A plain shortcut", false, SW_SHOWNORMAL},
        {L"Кириллица.lnk", L"программа.exe", L"-путь Ж", L"Описание", true, SW_SHOWMAXIMIZED},
        {L"漢字のリンク.lnk", L"設定.exe", L"/開く", L"説明文", false, SW_SHOWMINNOACTIVE},
        {L"rocket \U0001F680.lnk", L"launch \U0001F680.exe", L"\U0001F600", L"emoji \U0001F680", true, SW_SHOWNORMAL},
        {L"bare.lnk", L"bare.exe", nullptr, nullptr, false, SW_SHOWMINIMIZED},  // absent texts stay empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        const std::wstring target = scratchFile(c.targetName), file = scratchFile(c.linkName);
        touch(target);
        const bool bare = c.arguments == nullptr;
        ASSERT_TRUE(createWide(file, target, bare ? nullptr : scratchDirectory.c_str(), bare ? nullptr : icon.c_str(),
                               c.arguments, c.runAs, c.description, c.show));
        const ReadLink link = readLink(file);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, target);
        EXPECT_EQ(link.arguments, bare ? L"" : c.arguments);
        EXPECT_EQ(link.directory, bare ? L"" : scratchDirectory);
        EXPECT_EQ(link.icon, bare ? L"" : icon);
        EXPECT_EQ(link.iconIndex, 0);
        EXPECT_EQ(link.description, bare ? L"" : c.description);
        EXPECT_EQ(headerWord(file, 60), static_cast<DWORD>(c.show));
        // Saved with the flag asked for as well; the flag itself is the run-as test's.
        if (!c.runAs) {
            EXPECT_EQ((link.flags | headerWord(file, 20)) & kRunAsUser, 0u);
        }
    }
    // No file name, or a directory that does not exist: nothing saved.
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
        env, nullptr, nullptr, str(L"C:\\x.exe"), nullptr, nullptr, nullptr, false, nullptr, SW_SHOWNORMAL));
    EXPECT_FALSE(createWide(scratchFile(L"missing\\x.lnk"), L"C:\\x.exe", nullptr, nullptr, nullptr, false, nullptr,
                            SW_SHOWNORMAL));
}

TEST_F(ShellLink, NarrowShortcutsReadTheirBytesUpToTheFirstNul)
{
    const std::wstring target = scratchFile(L"caf\u00e9.exe");  // code page 1252: 0xE9
    touch(target);
    for (bool terminated : {true, false}) {
        SCOPED_TRACE(terminated ? "terminated" : "unterminated");
        const std::wstring file = scratchFile(terminated ? L"narrow.lnk" : L"unterminated.lnk");
        ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
            env, nullptr, str(file.c_str()), ansi(wideToNarrow(target), terminated),
            ansi(wideToNarrow(scratchDirectory), terminated), ansi("shell32.dll", terminated),
            ansi("-x caf\xe9", terminated), !terminated, ansi("Caf\xe9 d\xe9j\xe0 vu", terminated)));
        const ReadLink link = readLink(file);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, target);
        EXPECT_EQ(link.directory, scratchDirectory);
        EXPECT_EQ(link.icon, L"shell32.dll");
        EXPECT_EQ(link.arguments, L"-x caf\u00e9");
        EXPECT_EQ(link.description, L"Caf\u00e9 d\u00e9j\u00e0 vu");
        EXPECT_EQ(headerWord(file, 60), static_cast<DWORD>(SW_SHOWNORMAL)) << "the link's default";
    }
    const std::wstring file = scratchFile(L"embedded.lnk");
    const char arguments[] = "first\0second";
    ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
        env, nullptr, str(file.c_str()), ansi(wideToNarrow(target)), nullptr, nullptr,
        bytesToJava(env, arguments, sizeof(arguments)), false, nullptr));
    EXPECT_EQ(readLink(file).arguments, L"first");
}

TEST_F(ShellLink, ChangeNotifyTakesAnyByteArray)
{
    const std::wstring file = scratchFile(L"made.lnk");
    const std::string path(reinterpret_cast<const char*>(file.c_str()), file.size() * sizeof(wchar_t));
    // With and without the terminating NUL, an odd last byte, empty, null: always true.
    const std::string arrays[] = {path + std::string(2, '\0'), path, path + "x", "x", ""};
    for (const std::string& bytes : arrays) {
        LocalRef<jbyteArray> array(env, bytesToJava(env, bytes.data(), bytes.size()));
        EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_changeNotify0(env, nullptr, array.get(),
                                                                                              array.get()));
    }
    EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_changeNotify0(env, nullptr, nullptr, nullptr));
}

TEST_F(ShellLink, RunAsAdministratorIsSavedInTheLinkFlags)
{
    com_ptr<IShellLinkW> probe;
    ::CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), probe.putVoid());
    com_ptr<IShellLinkDataList> data = probe.query<IShellLinkDataList>(__uuidof(IShellLinkDataList));
    DWORD kept = 0;
    if (data && SUCCEEDED(data->SetFlags(kRunAsUser))) data->GetFlags(&kept);
    if ((kept & kRunAsUser) == 0)
        GTEST_SKIP() << "this system's IShellLinkDataList::SetFlags keeps no flags (Wine): only Windows shows the "
                        "run-as flag in the saved file";
    const std::wstring target = scratchFile(L"admin.exe"), wide = scratchFile(L"wide.lnk"),
                       narrow = scratchFile(L"narrow.lnk");
    touch(target);
    ASSERT_TRUE(createWide(wide, target, nullptr, nullptr, nullptr, true, nullptr, SW_SHOWNORMAL));
    ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
        env, nullptr, str(narrow.c_str()), ansi(wideToNarrow(target)), nullptr, nullptr, nullptr, true, nullptr));
    for (const std::wstring& file : {wide, narrow}) {
        EXPECT_NE(readLink(file).flags & kRunAsUser, 0u);
        EXPECT_NE(headerWord(file, 20) & kRunAsUser, 0u);
    }
}

}  // namespace
