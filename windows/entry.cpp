// The entry point: run modes from the raw arguments, the command line, the configuration and the
// switches, in a fixed order, then the installer work flow.
#include <windows.h>

#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/config_keys.h"
#include "windows/base/handles.h"
#include "windows/base/path_forms.h"
#include "windows/base/wide_text.h"
#include "windows/cleanup_run.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/launcher_paths.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/process_environment.h"
#include "windows/single_instance.h"
#include "windows/temp_dirs.h"
#include "windows/variables.h"
#include "windows/work_flow.h"

namespace {

bool beginsWith(const wchar_t* text, const wchar_t* prefix) { return wcsncmp(text, prefix, wcslen(prefix)) == 0; }

std::vector<std::wstring> split(const std::wstring& text, bool backslashRules)
{
    std::vector<std::u16string> parts;
    splitCommandLine(toU16(text), parts, backslashRules);
    std::vector<std::wstring> result;
    for (const std::u16string& part : parts) result.push_back(toWide(part));
    return result;
}

// A "-temp" directory is usable directly, or through its short form when the code page cannot
// show its long name.
bool usableManualDirectory(const std::wstring& wide, std::string& narrow, PathNotes& notes)
{
    bool lossy = false;
    narrow = wideToNarrow(wide, CP_ACP, &lossy);
    if (!lossy && usableDirectoryNarrow(narrow, false, false, false, notes) &&
        usableDirectoryWide(wide, false, false, notes))
        return true;
    std::wstring shortForm = shortPathWide(wide);
    if (shortForm.empty()) return false;
    narrow = wideToNarrow(shortForm, CP_ACP, &lossy);
    return !lossy && usableDirectoryNarrow(narrow, false, false, false, notes) &&
           usableDirectoryWide(wide, false, false, notes);
}

// The first "-temp"/"/temp" names the manual temporary directory; a missing or unusable directory
// is removed from the vector together with the switch.
void applyManualTemporaryDirectory(std::vector<std::wstring>& arguments)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != L"-temp" && arguments[i] != L"/temp") continue;
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
            arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i),
                            arguments.begin() + static_cast<std::ptrdiff_t>(std::min(i + 2, arguments.size())));
            return;
        }
        const std::wstring directory = arguments[i + 1];
        std::string narrow;
        PathNotes notes;
        const bool usable = usableManualDirectory(directory, narrow, notes);
        for (const std::wstring& line : notes) logInfo(L"%s", line.c_str());
        if (usable) {
            setManualTemporaryDirectory(directory, narrow);
            logInfo(L"Using manual temp dir %s (%S)", directory.c_str(), narrow.c_str());
        } else {
            logInfo(L"Manual temp dir not usable %s (%S)", directory.c_str(), narrow.c_str());
            arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i),
                            arguments.begin() + static_cast<std::ptrdiff_t>(i + 2));
        }
        return;
    }
}

void offerLogFile()
{
    std::wstring path = logPath();
    std::wstring text =
        formatWide(L"The following log file will be created:\n\n%s\n\nDo you want to open an Explorer window?", path.c_str());
    if (::MessageBoxW(nullptr, text.c_str(), productWord(), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    wchar_t windowsDirectory[MAX_PATH + 1];
    UINT length = ::GetWindowsDirectoryW(windowsDirectory, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) windowsDirectory[0] = L'\0';
    std::wstring shortPath = shortPathWide(path);
    std::wstring command = formatWide(L"%s\\explorer.exe /select,%s", windowsDirectory,
                                      (shortPath.empty() ? path : shortPath).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        logInfo(L"could not open explorer window %d", static_cast<int>(::GetLastError()));
        return;
    }
    unique_handle thread(process.hThread);
    unique_handle explorer(process.hProcess);
}

void changeWorkingDirectory()
{
    std::wstring directory(6000, L'\0');
    directory.resize(configWString(keys::kWorkingDirectory, directory.data(), directory.size()));
    if (directory.empty()) {
        logInfo(L"working directory unchanged");
        return;
    }
    directory = resolvePath(expandVariables(directory, false));
    ::SetCurrentDirectoryW(directory.c_str());
    logInfo(L"change working directory to %s", directory.c_str());
}

// "-c" and "-console": a console for the messages of a quiet run.
void attachConsoleFor(const std::wstring& argument)
{
    LauncherState& state = launcherState();
    if (argument == L"-console") {
        state.consoleAttached = attachConsole();
        return;
    }
    if (state.consoleAttached) return;
    if (!attachConsole()) {
        ::MessageBoxW(nullptr, L"Error: Could not allocate console.", productWord(), MB_OK | MB_ICONERROR);
        terminate(1);
    }
    state.consoleAttached = true;
}

void applySwitches()
{
    LauncherState& state = launcherState();
    state.integrityCheck = true;
    const std::vector<std::wstring> arguments = state.arguments;
    for (const std::wstring& argument : arguments) {
        if (argument == L"-q") {
            state.quiet = true;
            setGuiErrors(false);
        } else if (argument == L"-c") {
            state.quiet = true;
            setGuiErrors(false);
            attachConsoleFor(argument);
        } else if (argument == L"-console") {
            attachConsoleFor(argument);
        } else if (argument == L"-splash") {
            state.showProgressWhenQuiet = true;
        } else if (argument == L"-nocheck") {
            state.integrityCheck = false;
        } else if (argument == L"-manual" || argument == L"/manual") {
            state.manualJre = true;
        }
    }
}

void readDefaultArgumentsTemporaryDirectory()
{
    if (manualTemporaryDirectorySet()) return;
    char defaults[4001];
    configString(keys::kDefaultArguments, defaults, sizeof defaults);
    std::string text = defaults;
    if (text.find("-temp") == std::string::npos && text.find("/temp") == std::string::npos) return;
    std::vector<std::wstring> scratch = split(expandVariables(narrowToWide(text), false), false);
    applyManualTemporaryDirectory(scratch);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR rawArguments, int)
{
    LauncherState& state = launcherState();
    const wchar_t* raw = rawArguments ? rawArguments : L"";

    if (beginsWith(raw, L"__stw_windel")) state.deletionMode = true;
    restrictDllSearch();
    preloadSystemDlls();
    if (wcscmp(raw, L"__stw_reboot") == 0) {
        runReboot();
        return 0;
    }
    if (beginsWith(raw, L"__stw_msi")) {
        state.msiWrapperWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(_wtoi64(raw + wcslen(L"__stw_msi"))));
        logInfo(L"msi wrapper %p", state.msiWrapperWindow);
        state.msiWrapper = true;
        state.progressThroughWrapper = true;
    }
    state.quiet = false;
    if (beginsWith(raw, L"__stw_lang_restart")) {
        logInfo(L"language restart");
        state.languageRestart = true;
        state.quiet = true;
    }
    if (beginsWith(raw, L"__stw_extract_and_exit")) {
        logInfo(L"extract and exit mode");
        state.extractOnly = true;
    }
    state.arguments = split(::GetCommandLineW(), true);

    if (state.deletionMode && state.arguments.size() >= 3) return runDeletion(state.arguments[2]);

    clearTemporaryDirectoryName();
    if (state.arguments.size() > 1) {
        const std::wstring& first = state.arguments[1];
        if (first == L"-create-stw-log" || first == L"-create-tlw-log" || first == L"/create-stw-log" ||
            first == L"/create-tlw-log") {
            state.arguments.erase(state.arguments.begin() + 1);
            state.logRequested = true;
        }
    }
    applyManualTemporaryDirectory(state.arguments);
    const DWORD lockError = lockOwnExecutable();
    if (lockError != 0) logError(L"own file not locked (%d)", static_cast<int>(lockError));
    {
        unique_file own = openOwnExecutable();
        if (!own) fatal(kOwnFileNotOpened);
        const ReadError error = readConfigBlock(own.get());
        if (error.failure != ReadFailure::None) fatal(readFailureText(error));
    }
    // Without the hold, another process could change the bytes between the check and the
    // extraction: the block was read only for the message in the user's language.
    if (lockError != 0) fatal(messageText(messages::kInstallationCorrupted));
    const int32_t launcherType = configInt(keys::kLauncherType);
    if (launcherType != 1 && launcherType != 5) setGuiErrors(false);
    readDefaultArgumentsTemporaryDirectory();
    state.instance = instance;
    state.productTallow = configStringDup(keys::kProductKind).rfind('e', 0) == 0;
    reducePath();
    if (configFlag(keys::kClearJavaOptionVariables)) {
        logInfo(L"ignoring java options environment variables");
        clearJavaOptionVariables();
    }
    if (!state.languageRestart) changeWorkingDirectory();
    if (state.logRequested) offerLogFile();

    applySwitches();
    // The installer takes no command lines from later starts: a mailslot is open to writers the
    // installer cannot tell apart, and an elevated installer must not be steered by them.
    if (!state.languageRestart) claimInstance(false);
    if (configFlag(keys::kNoProgressDialog)) state.progressThroughWrapper = true;
    logInfo(L"Init done");
    dispatchWorkFlow();
    return 0;
}
