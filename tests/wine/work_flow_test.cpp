#include "windows/work_flow.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "core/config_format.h"
#include "core/config_keys.h"
#include "resources/resource_ids.h"
#include "windows/config_block.h"
#include "windows/launcher_state.h"
#include "windows/progress_dialog.h"
#include "windows/wide_text.h"

namespace {

TEST(RuntimeChoiceText, NamesOnlyTheConfiguredBounds)
{
    struct Case {
        const char* minimum;
        const char* maximum;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"", "", L"Locate a 64-bit JRE."},
        {"1.8", "", L"Locate a 64-bit JRE. (min: 1.8)"},
        {"", "11", L"Locate a 64-bit JRE. (max: 11)"},
        {"1.8", "11.0.2", L"Locate a 64-bit JRE. (min: 1.8, max: 11.0.2)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(runtimeChoiceText(L"Locate a %S-bit JRE.", L"64", c.minimum, c.maximum, L"min:", L"max:"), c.text)
            << c.minimum << " " << c.maximum;
}

TEST(RuntimeChoiceText, ConfiguredTextIsNeverReadAsAFormat)
{
    // A translation with stray conversions must show as written, not read arguments that are not there.
    EXPECT_EQ(runtimeChoiceText(L"%s %n %d %S-bit %S", L"32", "", "", L"", L""), L"%s %n %d 32-bit %S");
    EXPECT_EQ(runtimeChoiceText(L"no placeholder", L"32", "", "", L"", L""), L"no placeholder");
}

TEST(JavaWindowWatcher, BarAdvancesEveryFifthTickAndStopsAt390)
{
    struct Case {
        int waitStart;
        int tick;
        int position;
    };
    const Case cases[] = {
        {300, 0, 300}, {300, 4, 300}, {300, 5, 325}, {300, 10, 350}, {300, 15, 375}, {300, 20, 390},
        {300, 2399, 390}, {200, 5, 250}, {200, 15, 350}, {200, 20, 390}, {100, 5, 175}, {100, 15, 325},
        {100, 20, 390},
    };
    for (const Case& c : cases)
        EXPECT_EQ(watcherPosition(c.waitStart, c.tick), c.position) << c.waitStart << " at " << c.tick;
}

TEST(PackedPayloadFiles, OnlyPackNamesWithinTheCountUpToTheFirstEmptyName)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(packedPayloadFiles("a.jar.pack;b.jar;c.pack", 3), (Names{"a.jar.pack", "c.pack"}));
    EXPECT_EQ(packedPayloadFiles("a.jar.pack;b.jar;c.pack", 2), (Names{"a.jar.pack"}));
    EXPECT_EQ(packedPayloadFiles("a.pack;;c.pack", 3), (Names{"a.pack"}));
    EXPECT_EQ(packedPayloadFiles("x.pack.jar;.pack;pack;lib\\d.pack", 9), (Names{".pack", "lib\\d.pack"}));
    EXPECT_EQ(packedPayloadFiles("a.pack", 0), Names{});
}

class InstallStartedFlags : public ::testing::Test {
protected:
    void SetUp() override { clearInstallStarted(true, true); }
    void TearDown() override
    {
        launcherState().languageRestart = false;
        clearInstallStarted(true, true);
    }
};

TEST_F(InstallStartedFlags, PerProcessAndGlobalValuesAreSeparate)
{
    EXPECT_EQ(readInstallStarted(true), 0u);
    setInstallStarted(true, false);
    EXPECT_EQ(readInstallStarted(true), 1u);
    EXPECT_EQ(readInstallStarted(false), 0u);
    setInstallStarted(false, true);
    EXPECT_EQ(readInstallStarted(false), 1u);
    clearInstallStarted(true, false);
    EXPECT_EQ(readInstallStarted(true), 0u);
    EXPECT_EQ(readInstallStarted(false), 1u);
}

TEST_F(InstallStartedFlags, TheJavaSideMarksTheStartWithTwo)
{
    setInstallStarted(true, false);
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\fenmoor\\tallow", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const DWORD two = 2;
    const std::string name = installStartedValueName(::GetCurrentProcessId());
    ::RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), sizeof two);
    ::RegCloseKey(key);
    EXPECT_EQ(name, "InstallStarted_" + std::to_string(::GetCurrentProcessId()));
    EXPECT_EQ(readInstallStarted(true), 2u);
}

TEST_F(InstallStartedFlags, ALanguageRestartNeitherSetsNorClears)
{
    setInstallStarted(false, true);
    launcherState().languageRestart = true;
    clearInstallStarted(true, true);
    setInstallStarted(true, false);
    EXPECT_EQ(readInstallStarted(false), 1u);
    EXPECT_EQ(readInstallStarted(true), 0u);
}

// The dialog templates live in launcher.exe: the test loads it as a resource module. Dialogs need
// a display; without one these tests are skipped.
class RuntimeChoiceDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::wstring self = moduleFileName();
        std::wstring launcher = self.substr(0, self.find_last_of(L'\\')) + L"\\..\\..\\windows\\launcher.exe";
        resources_ = ::LoadLibraryExW(launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (resources_ == nullptr) GTEST_SKIP() << "no launcher.exe beside the tests";
        launcherState().instance = resources_;
    }
    void TearDown() override
    {
        if (dialog_ != nullptr) ::DestroyWindow(dialog_);
        launcherState().instance = nullptr;
        useConfigBlock(ConfigBlock());
        if (resources_ != nullptr) ::FreeLibrary(resources_);
    }
    HWND open(const ConfigBlock& block)
    {
        useConfigBlock(block);
        dialog_ = ::CreateDialogParamW(resources_, MAKEINTRESOURCEW(IDD_RUNTIME_CHOICE), nullptr,
                                       runtimeChoiceDialogProc, 0);
        return dialog_;
    }
    static std::wstring textOf(HWND window)
    {
        wchar_t text[2000];
        ::GetWindowTextW(window, text, 2000);
        return text;
    }

    HMODULE resources_ = nullptr;
    HWND dialog_ = nullptr;
};

ConfigBlock choiceBlock(const char* url)
{
    ConfigBlock block;
    block.strings[keys::kDownloadUrl] = url;
    block.strings[keys::kMinJavaVersion] = "1.8";
    block.messages[messages::kWizardTitle] = u"Wizard";
    block.messages[messages::kLocateOrDownload] = u"Download or locate a %S-bit runtime.";
    block.messages[messages::kLocateOnly] = u"Locate a %S-bit runtime.";
    block.messages[messages::kMinimumVersion] = u"at least";
    block.messages[messages::kDownloadButton] = u"Get";
    block.messages[messages::kLocateButton] = u"Find";
    block.messages[messages::kCancelButton] = u"Stop";
    return block;
}

TEST_F(RuntimeChoiceDialog, WithADownloadAddressAllThreeButtonsShow)
{
    HWND dialog = open(choiceBlock("http://example.org/jre.tar.gz"));
    if (dialog == nullptr) GTEST_SKIP() << "no display";
    const std::wstring bits = sizeof(void*) == 8 ? L"64" : L"32";
    EXPECT_EQ(textOf(dialog), L"Wizard");
    EXPECT_EQ(textOf(::GetDlgItem(dialog, IDC_MAIN_TEXT)), L"Download or locate a " + bits + L"-bit runtime. (at least 1.8)");
    EXPECT_EQ(textOf(::GetDlgItem(dialog, IDC_DOWNLOAD)), L"Get");
    EXPECT_EQ(textOf(::GetDlgItem(dialog, IDC_LOCATE)), L"Find");
    EXPECT_EQ(textOf(::GetDlgItem(dialog, IDCANCEL)), L"Stop");
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_DOWNLOAD)));
    EXPECT_EQ(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDC_DOWNLOAD);
}

TEST_F(RuntimeChoiceDialog, WithoutADownloadAddressDownloadCannotBeChosen)
{
    HWND dialog = open(choiceBlock(""));
    if (dialog == nullptr) GTEST_SKIP() << "no display";
    HWND download = ::GetDlgItem(dialog, IDC_DOWNLOAD);
    EXPECT_NE(textOf(::GetDlgItem(dialog, IDC_MAIN_TEXT)).find(L"Locate a "), std::wstring::npos);
    EXPECT_FALSE(::GetWindowLongW(download, GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(::IsWindowEnabled(download));
    // Enter now means Locate, and a 1004 that still arrives is not taken.
    EXPECT_EQ(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDC_LOCATE);
    // (EndDialog hides a modeless dialog: a dialog that stays visible was not ended.)
    ::ShowWindow(dialog, SW_SHOWNA);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindowVisible(dialog));
}

}  // namespace
