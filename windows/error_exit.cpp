#include "windows/error_exit.h"

#include <cstdlib>
#include <cstring>

#include "core/config_keys.h"
#include "windows/base/path_forms.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/splash.h"
#include "windows/temp_dirs.h"

namespace {

struct Presenter {
    bool guiErrors = true;
    HWND ownerWindow = nullptr;
};

Presenter& presenter()
{
    static Presenter* instance = new Presenter();
    return *instance;
}

}  // namespace

void writeToConsoleOrStandardError(const std::wstring& text)
{
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE && ::GetFileType(output) == FILE_TYPE_CHAR) {
        DWORD written = 0;
        if (::WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
            ::FlushFileBuffers(output);
            return;
        }
    }
    HANDLE errorOutput = ::GetStdHandle(STD_ERROR_HANDLE);
    if (errorOutput == nullptr || errorOutput == INVALID_HANDLE_VALUE) return;
    std::string narrow = wideToNarrow(text, CP_ACP) + "\n";
    DWORD written = 0;
    ::WriteFile(errorOutput, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
    ::FlushFileBuffers(errorOutput);
}

void setGuiErrors(bool gui) { presenter().guiErrors = gui; }
bool guiErrors() { return presenter().guiErrors; }
void setErrorOwnerWindow(HWND window) { presenter().ownerWindow = window; }

void showError(const std::wstring& text)
{
    closeSplash();
    std::wstring composed = text;
    std::wstring path = logPath();
    if (!path.empty()) {
        std::wstring longForm = longPathWide(path);
        composed = formatWide(L"%s\n\nLog: %s", text.c_str(), (longForm.empty() ? path : longForm).c_str());
    }
    if (presenter().guiErrors) {
        std::wstring title = messageText(messages::kErrorTitle);
        // A box that cannot be shown (no desktop, a service session) must not swallow the error.
        if (::MessageBoxW(presenter().ownerWindow, composed.c_str(), title.c_str(), MB_ICONERROR | MB_OK) <= 0)
            writeToConsoleOrStandardError(composed);
    } else {
        writeToConsoleOrStandardError(composed);
    }
}

std::wstring messageWithArgument(int key, const wchar_t* argument)
{
    std::wstring text = messageText(key);
    if (argument != nullptr) {
        size_t placeholder = text.find(L"{0}");
        if (placeholder != std::wstring::npos) text.replace(placeholder, 3, argument);
    }
    return text;
}

void showErrorMessage(int key, const wchar_t* argument) { showError(messageWithArgument(key, argument)); }

void fatal(const std::wstring& text)
{
    showError(text);
    terminate(1);
}

void fatalMessage(int key, const wchar_t* argument)
{
    showErrorMessage(key, argument);
    terminate(1);
}

void fatalNarrow(int key, const char* argument)
{
    if (argument == nullptr) fatalMessage(key, nullptr);
    std::string limited(argument, strnlen(argument, 6000));
    std::wstring wide = narrowToWide(limited, CP_ACP);
    fatalMessage(key, wide.c_str());
}

void fatalMessageOnly(int key)
{
    showError(messageString(key));
    terminate(1);
}

void terminate(int exitCode)
{
    if (!launcherState().languageRestart) {
        std::string directory = temporaryDirectoryName();
        if (!directory.empty()) deleteTree(directory, true);
    }
    std::exit(exitCode);
}
