#include "windows/work_flow.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/config_keys.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/path_forms.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/extraction.h"
#include "windows/install_flags.h"
#include "windows/jvm_launch.h"
#include "windows/jvm_search.h"
#include "windows/launcher_paths.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/payload_check.h"
#include "windows/process_environment.h"
#include "windows/progress_dialog.h"
#include "windows/runtime_archive.h"
#include "windows/runtime_choice.h"
#include "windows/temp_dirs.h"

namespace {

std::string fullPathOf(const char* name)
{
    char buffer[6000];
    DWORD length = ::GetFullPathNameA(name, sizeof buffer, buffer, nullptr);
    if (length == 0 || length >= sizeof buffer) return name;
    return std::string(buffer, length);
}

std::string currentDirectory()
{
    char buffer[6000];
    DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) return {};
    return std::string(buffer, length);
}

void changeToExtractionDirectory()
{
    const std::string directory = temporaryDirectoryName();
    if (directory.empty()) return;
    if (!::SetCurrentDirectoryA(directory.c_str()))
        logError(L"Could not change working dir to %S (%d)", directory.c_str(), static_cast<int>(::GetLastError()));
}

void writeStandardOutput(const char* text)
{
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(output, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

// After a Cancel of the progress dialog (its worker has stopped, or did not within the bound).
[[noreturn]] void endAfterCancel()
{
    // A runtime the stopped worker loaded keeps its jvm.dll mapped from the extraction directory,
    // which would then stay: no VM was created from it, so it can be let go first.
    if (!progressWorkerRunning() && loadedJvm().module != nullptr) unique_module(loadedJvm().module).reset();
    terminate(0);
}

void acquireWithDialog(HWND dialog) { downloadOrLocateRuntime(dialog); }

void installWithDialog(HWND dialog) { runInstaller(dialog); }

// Runs the runtime acquisition with a progress window: the given one, or, in wrapper mode without
// a wrapper window, a progress dialog opened only for this step (its worker runs the acquisition).
RuntimeAcquisition acquireRuntime(HWND window)
{
    if (window != nullptr) return downloadOrLocateRuntime(window);
    const INT_PTR result = runProgressDialog(acquireWithDialog);
    if (result == -1) {
        logError(L"could not show the progress dialog %d", static_cast<int>(::GetLastError()));
        return downloadOrLocateRuntime(nullptr);
    }
    // Cancelled: the dialog cleared the flags and its worker has stopped; nothing is started.
    if (result == IDOK || result == IDCANCEL) endAfterCancel();
    return lastRuntimeAcquisition();
}

// Step 11: no included runtime, or the manual switch. Returns whether "jre.tar.gz" now waits for
// unpacking (a download); a located runtime is already loaded.
bool findOrAcquireRuntime(HWND window)
{
    const LauncherState& state = launcherState();
    setInstallStarted(window != nullptr, true);
    // A quiet run says why no runtime was taken; with a window the choice dialog offers the remedy.
    if (!state.manualJre && LoadDLL(state.quiet, nullptr, false)) return false;
    RuntimeAcquisition acquired = RuntimeAcquisition::None;
    if (state.quiet) {
        if (!configFlag(keys::kDownloadWithoutAsking)) {
            logError(L"No JRE found");
            writeStandardOutput("No JRE found. Aborting.\n");
            clearInstallStarted(true, true);
            terminate(83);
        }
        writeStandardOutput("No JRE found. Trying to download.\n");
        acquired = downloadOrLocateRuntime(nullptr);
    } else {
        acquired = acquireRuntime(window);
    }
    return acquired == RuntimeAcquisition::Downloaded;
}

void unpackPayloadJars()
{
    const std::string directory = temporaryDirectoryName();
    const std::string home = loadedJvm().home;
    for (const std::string& name :
         packedPayloadFiles(configStringDup(keys::kIncludedFileNames), configInt(keys::kIncludedFileCount))) {
        logInfo(L"unpacking %S", name.c_str());
        unpackPackedJar(home, directory + "\\" + name);
    }
}

[[noreturn]] void writeUnextractedPositionAndExit()
{
    FILE* file = std::fopen("unextracted.txt", "w");
    if (file == nullptr) {
        logError(L"Could not write file with unextracted position");
        fatalMessage(messages::kInternalError, L"71");
    }
    // The position is a 64-bit file offset: a 32-bit "%d" would misstate payloads beyond 2 GiB.
    std::fputs(std::to_string(unextractedPosition()).c_str(), file);
    std::fclose(file);
    // The directory stays for whoever asked for it: terminate must not remove it.
    clearTemporaryDirectoryName();
    terminate(0);
}

}  // namespace

void loadIncludedRuntime()
{
    const std::string directory = wideToNarrow(fullPathWide(L"jre"));
    logInfo(L"JRE dir: %S", directory.c_str());
    if (LoadDLL(false, directory.c_str(), false)) return;
    logError(L"Could not load bundled JRE. Trying to find another JRE.");
    if (LoadDLL(false, nullptr, false)) return;
    logError(L"Could not find another JRE.");
    if (relaxedTempDirectory()) fatalMessage(messages::kPowerUserRequired, nullptr);
    fatal(L"Could not use bundled JRE. Please send this log file to your software vendor:");
}

int waitStartPosition(bool runtimeIncluded, bool runtimePacked)
{
    if (!runtimeIncluded) return 100;
    return runtimePacked ? 300 : 200;
}

std::vector<std::string> packedPayloadFiles(const std::string& nameList, int count)
{
    std::vector<std::string> packed;
    size_t start = 0;
    for (int index = 0; index < count && start <= nameList.size(); ++index) {
        size_t end = nameList.find(';', start);
        if (end == std::string::npos) end = nameList.size();
        const std::string name = nameList.substr(start, end - start);
        if (name.empty()) break;
        if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".pack") == 0) packed.push_back(name);
        start = end + 1;
    }
    return packed;
}

int runInstaller(HWND window)
{
    const LauncherState& state = launcherState();
    logInfo(L"Starting work");
    if (window != nullptr) {
        setProgressPosition(window, 1);
        setProgressRange(window, 0, 400);
    }
    if (!state.languageRestart) verifyPayload(window);

    WindowProgress shown(window);
    WorkProgress& progress = window != nullptr ? static_cast<WorkProgress&>(shown) : quietProgress();
    runExtractionStep(progress);
    // The checked bytes are extracted: the Java side and the clean-up may now open the file freely.
    unlockOwnExecutable();
    stopIfCanceled();
    const bool completeRestart = completeLanguageRestart();

    logInfo(L"Current working dir: %S", currentDirectory().c_str());
    const std::string archive = fullPathOf("jre.tar.gz");
    logInfo(L"Full JRE path: %S", archive.c_str());
    bool included = fileExists(archive);
    if (!included && completeRestart) {
        logInfo(L"Checking restart JRE: %S", archive.c_str());
        const std::string extracted = fullPathOf("jre");
        logInfo(L"Checking extracted JRE: %S", extracted.c_str());
        included = directoryExists(extracted);
    }
    logInfo(included ? L"JRE included" : L"No JRE included");
    if (included && state.manualJre) {
        logInfo(L"Included JRE not used because of manual switch");
        included = false;
    }

    if (included && configFlag(keys::kPreferInstalledRuntime)) {
        setInstallStarted(window != nullptr, true);
        if (LoadDLL(false, nullptr, false))
            included = false;
        else
            clearInstallStarted(true, true);
    } else if (!included) {
        included = findOrAcquireRuntime(window);
    }

    stopIfCanceled();
    changeToExtractionDirectory();
    int waitStart = waitStartPosition(false, false);
    if (!completeRestart) {
        waitStart = waitStartPosition(included, configFlag(keys::kUnpackRuntimeJars));
        if (included) {
            unpackIncludedRuntime(progress);
            loadIncludedRuntime();
        }
        unpackPayloadJars();
    } else if (included) {
        loadIncludedRuntime();
    }

    stopIfCanceled();
    if (state.extractOnly) writeUnextractedPositionAndExit();

    if (window != nullptr) startJavaWindowWatcher(window, waitStart);
    setInstallStarted(window != nullptr, true);

    // Neither a download nor a located runtime may have come of the acquisition.
    if (loadedJvm().createJavaVM == nullptr) {
        logError(L"Could not start JVM");
        fatalMessage(messages::kJvmNotStarted, nullptr);
    }
    runLaunchStep();
    return 0;
}

void dispatchWorkFlow()
{
    const LauncherState& state = launcherState();
    if (state.quiet && !state.showProgressWhenQuiet) {
        logInfo(L"Quiet installer.");
        runInstaller(nullptr);
        return;
    }
    initCommonControls();
    registerDialogClass();
    if (state.progressThroughWrapper) {
        runInstaller(state.msiWrapperWindow);
        return;
    }
    INT_PTR result = runProgressDialog(installWithDialog);
    if (result == -1) {
        // No desktop to show the dialog on: the installer still runs, with errors in message boxes
        // or on the console as configured.
        logError(L"could not show the progress dialog %d", static_cast<int>(::GetLastError()));
        runInstaller(nullptr);
        return;
    }
    // Cancelled: the worker has stopped (or did not within the bound); the directory goes.
    if (result == IDOK || result == IDCANCEL) endAfterCancel();
}
