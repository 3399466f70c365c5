#include "windows/runtime_choice.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "core/config_keys.h"
#include "core/jvm_search_rules.h"
#include "windows/base/registry.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/install_flags.h"
#include "windows/jvm_search.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/progress_dialog.h"
#include "windows/runtime_download.h"
#include "windows/temp_dirs.h"

namespace {

constexpr int kDownloadButton = 1004;
constexpr int kLocateButton = 1005;
constexpr size_t kPathCapacity = 6000;

RuntimeAcquisition lastAcquisition = RuntimeAcquisition::None;

// The located-runtimes record of the search: a key named by the java.exe path with "/" for "\",
// under HKLM, or HKCU when HKLM cannot be written.
void recordLocatedRuntime(const std::string& javaExe)
{
    std::string name = javaExe;
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::string key = std::string(kLocatedRuntimesKey) + "\\" + name;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (createKey(root, key.c_str(), KEY_ALL_ACCESS)) return;
    }
    logError(L"could not record located JRE %S", javaExe.c_str());
}

}  // namespace

RuntimeAcquisition downloadOrLocateRuntime(HWND window)
{
    std::wstring url(kPathCapacity, L'\0');
    url.resize(configWString(keys::kDownloadUrl, url.data(), url.size()));
    logInfo(L"Download location: %s", url.c_str());

    const LauncherState& state = launcherState();
    bool download = false;
    lastAcquisition = RuntimeAcquisition::None;
    if (configFlag(keys::kDownloadWithoutAsking) && !state.manualJre) {
        download = true;
    } else {
        INT_PTR choice = showRuntimeChoiceDialog(window, locateRuntime);
        logInfo(L"runtime choice %d", static_cast<int>(choice));
        stopIfCanceled();
        if (choice == -1) {
            // No dialog can be shown (no desktop): nobody can choose, so say what the search found.
            logError(L"could not show the runtime choice dialog %d", static_cast<int>(::GetLastError()));
            if (LoadDLL(true, nullptr, false)) return lastAcquisition;
            clearInstallStarted(true, true);
            terminate(1);
        }
        if (choice == kLocateButton) lastAcquisition = RuntimeAcquisition::Located;
        download = choice == kDownloadButton;
    }
    if (download) {
        const std::string directory = temporaryDirectoryName();
        if (!directory.empty() && !::SetCurrentDirectoryW(narrowToWide(directory).c_str()))
            logError(L"Could not change working dir to %S (%d)", directory.c_str(), static_cast<int>(::GetLastError()));
        logInfo(L"Downloading JRE");
        WindowProgress progress(window);
        downloadRuntime(progress, url);
        logInfo(L"Done");
        lastAcquisition = RuntimeAcquisition::Downloaded;
    }
    return lastAcquisition;
}

RuntimeAcquisition lastRuntimeAcquisition() { return lastAcquisition; }

bool locateRuntime(HWND owner)
{
    // The chosen path goes to LoadDLL and into registry key names, both narrow: the dialog is the
    // ANSI one.
    static const auto getOpenFileName = SYSTEM_FUNCTION(L"comdlg32.dll", GetOpenFileNameA);
    if (getOpenFileName == nullptr) {
        logError(L"could not load GetOpenFileNameA");
        return false;
    }
    std::vector<char> file(kPathCapacity, '\0');
    const std::string title = wideToNarrow(messageText(messages::kChooseJavaExe));
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = "Java EXE\0java.exe\0";  // the literal's own NUL ends the list
    request.lpstrFile = file.data();
    request.nMaxFile = static_cast<DWORD>(file.size());
    request.lpstrTitle = title.c_str();
    request.Flags = OFN_FILEMUSTEXIST;
    if (!getOpenFileName(&request)) return false;
    logInfo(L"located %S", file.data());
    if (!LoadDLL(true, file.data(), true)) return false;
    recordLocatedRuntime(file.data());
    return true;
}
