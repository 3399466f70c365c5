#include "windows/temp_dirs.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>

#include "core/config_keys.h"
#include "core/path_rules.h"
#include "windows/config_block.h"
#include "windows/handles.h"
#include "windows/native_log.h"
#include "windows/wide_text.h"

namespace {

struct Paths {
    bool executableKnown = false;
    std::wstring executableWide;
    std::string executableNarrow;
    std::wstring directoryWide;
    std::string directoryNarrow;

    bool userTempChosen = false;
    std::wstring userTempWide;
    std::string userTempNarrow;

    bool manualSet = false;
    std::wstring manualWide;
    std::string manualNarrow;

    std::string temporaryDirectory;
};

Paths& paths()
{
    static Paths* instance = new Paths();
    return *instance;
}

std::wstring longPathWide(const std::wstring& path)
{
    DWORD length = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (length == 0) return {};
    std::wstring result(length, L'\0');
    length = ::GetLongPathNameW(path.c_str(), result.data(), length);
    if (length == 0 || length >= result.size()) return {};
    result.resize(length);
    return result;
}

std::string longPathNarrow(const std::string& path)
{
    DWORD length = ::GetLongPathNameA(path.c_str(), nullptr, 0);
    if (length == 0) return {};
    std::string result(length, '\0');
    length = ::GetLongPathNameA(path.c_str(), result.data(), length);
    if (length == 0 || length >= result.size()) return {};
    result.resize(length);
    return result;
}

void computeExecutablePath()
{
    Paths& state = paths();
    if (state.executableKnown) return;
    state.executableKnown = true;
    std::wstring moduleName = moduleFileName();
    std::wstring longForm = longPathWide(moduleName);
    DWORD error = ::GetLastError();
    logInfo(L"init file name %s %s %d %d", moduleName.c_str(), longForm.c_str(), static_cast<int>(longForm.size()),
            static_cast<int>(error));
    state.executableWide = longForm.empty() ? moduleName : longForm;
    state.executableNarrow = wideToNarrow(state.executableWide, CP_ACP);
    size_t slash = state.executableWide.find_last_of(L"\\/");
    state.directoryWide = slash == std::wstring::npos ? L".\\" : state.executableWide.substr(0, slash + 1);
    size_t narrowSlash = state.executableNarrow.find_last_of("\\/");
    state.directoryNarrow = narrowSlash == std::string::npos ? ".\\" : state.executableNarrow.substr(0, narrowSlash + 1);
}

unsigned probeRandom()
{
    static bool seeded = false;
    if (!seeded) {
        std::srand(static_cast<unsigned>(::GetCurrentProcessId() * static_cast<unsigned>(std::time(nullptr))));
        seeded = true;
    }
    return static_cast<unsigned>(std::rand());
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

std::wstring withoutTrailingSlash(std::wstring path)
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

std::wstring foldPrecomposed(const std::wstring& text)
{
    int length = ::FoldStringW(MAP_PRECOMPOSED, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring folded(static_cast<size_t>(length), L'\0');
    ::FoldStringW(MAP_PRECOMPOSED, text.c_str(), -1, folded.data(), length);
    folded.resize(static_cast<size_t>(length) - 1);
    return folded;
}

void chooseUserTempDirectory()
{
    Paths& state = paths();
    if (state.userTempChosen) return;
    state.userTempChosen = true;
    wchar_t systemTemp[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, systemTemp);
    if (length == 0 || length > MAX_PATH) return;
    std::wstring wide = withoutTrailingSlash(std::wstring(systemTemp, length));
    std::string narrow = wideToNarrow(wide, CP_ACP);
    if (usableDirectoryNarrow(narrow, true, true, configFlag(keys::kLongTempPaths)) &&
        usableDirectoryWide(wide, false, true)) {
        state.userTempWide = wide;
        state.userTempNarrow = narrow;
    }
}

}  // namespace

const std::wstring& executablePathWide()
{
    computeExecutablePath();
    return paths().executableWide;
}

const std::string& executablePathNarrow()
{
    computeExecutablePath();
    return paths().executableNarrow;
}

const std::wstring& executableDirectoryWide()
{
    computeExecutablePath();
    return paths().directoryWide;
}

const std::string& executableDirectoryNarrow()
{
    computeExecutablePath();
    return paths().directoryNarrow;
}

bool usableDirectoryNarrow(std::string& path, bool createFirst, bool checkLongForm, bool switchToLongForm)
{
    if (path.empty()) return false;
    if (createFirst) ::CreateDirectoryA(path.c_str(), nullptr);
    if (checkLongForm) {
        std::string longForm = longPathNarrow(path);
        if (longForm.find('?') != std::string::npos) return false;
        if (switchToLongForm && !longForm.empty() && longForm != path && longForm.size() < 6000) {
            logInfo(L"using long path %S", longForm.c_str());
            path = longForm;
        }
    }
    std::string probe = withoutTrailingSlash(path) + "\\tlwtw" + std::to_string(::GetCurrentProcessId()) +
                        std::to_string(probeRandom());
    ::RemoveDirectoryA(probe.c_str());
    if (!::CreateDirectoryA(probe.c_str(), nullptr)) return false;
    if (::GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES) ::RemoveDirectoryA(probe.c_str());
    return true;
}

bool usableDirectoryWide(const std::wstring& path, bool createFirst, bool checkLongForm)
{
    if (path.empty()) return false;
    if (createFirst) ::CreateDirectoryW(path.c_str(), nullptr);
    std::wstring folded = foldPrecomposed(path);
    if (folded.size() != path.size()) {
        logInfo(L"folding error %s %d %s %d", path.c_str(), static_cast<int>(path.size()), folded.c_str(),
                static_cast<int>(folded.size()));
        return false;
    }
    if (checkLongForm) {
        std::wstring longForm = longPathWide(path);
        std::wstring foldedLong = foldPrecomposed(longForm);
        if (longForm.find(L'?') != std::wstring::npos || foldedLong.size() != longForm.size()) {
            logInfo(L"folding error2 %s %d %s %d", longForm.c_str(), static_cast<int>(longForm.size()),
                    foldedLong.c_str(), static_cast<int>(foldedLong.size()));
            return false;
        }
    }
    std::wstring probe = withoutTrailingSlash(path) + L"\\tlwtw" + std::to_wstring(::GetCurrentProcessId()) +
                         std::to_wstring(probeRandom());
    ::RemoveDirectoryW(probe.c_str());
    if (!::CreateDirectoryW(probe.c_str(), nullptr)) return false;
    if (::GetFileAttributesW(probe.c_str()) != INVALID_FILE_ATTRIBUTES) ::RemoveDirectoryW(probe.c_str());
    return true;
}

std::wstring userTempDirectoryWide(bool failIfNone)
{
    Paths& state = paths();
    if (state.manualSet) return state.manualWide;
    chooseUserTempDirectory();
    if (state.userTempWide.empty() && failIfNone) fatalMessage(messages::kPowerUserRequired, nullptr);
    return state.userTempWide;
}

std::string userTempDirectoryNarrow()
{
    Paths& state = paths();
    if (state.manualSet) return state.manualNarrow;
    chooseUserTempDirectory();
    if (state.userTempNarrow.empty()) fatalMessage(messages::kPowerUserRequired, nullptr);
    return state.userTempNarrow;
}

void setManualTemporaryDirectory(const std::wstring& wide, const std::string& narrow)
{
    Paths& state = paths();
    state.manualSet = true;
    state.manualWide = wide;
    state.manualNarrow = narrow;
}

bool manualTemporaryDirectorySet() { return paths().manualSet; }

std::string temporaryDirectoryName() { return paths().temporaryDirectory; }
void clearTemporaryDirectoryName() { paths().temporaryDirectory.clear(); }

bool deleteTree(const std::string& directory, bool recursive)
{
    bool complete = true;
    std::string base = withoutTrailingSlash(directory);
    WIN32_FIND_DATAA entry;
    unique_find find(::FindFirstFileA((base + "\\*").c_str(), &entry));
    if (find) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = base + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!recursive || !deleteTree(child, true)) complete = false;
            } else {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    ::SetFileAttributesA(child.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
                if (!::DeleteFileA(child.c_str())) complete = false;
            }
        } while (::FindNextFileA(find.get(), &entry));
    }
    if (!::RemoveDirectoryA(base.c_str())) complete = false;
    return complete;
}

std::wstring resolvePath(const std::wstring& path)
{
    std::wstring combined = isAbsolutePath(toU16(path)) ? path : executableDirectoryWide() + path;
    combined = toWide(collapseBackslashes(toU16(combined)));
    DWORD length = ::GetFullPathNameW(combined.c_str(), 0, nullptr, nullptr);
    if (length == 0) return combined;
    std::wstring full(length, L'\0');
    length = ::GetFullPathNameW(combined.c_str(), length, full.data(), nullptr);
    if (length == 0 || length >= full.size()) return combined;
    full.resize(length);
    return full;
}

std::string resolvePathNarrow(const std::string& path)
{
    std::wstring wide = narrowToWide(path);
    std::string combined = isAbsolutePath(toU16(wide)) ? path : executableDirectoryNarrow() + path;
    combined = wideToNarrow(toWide(collapseBackslashes(toU16(narrowToWide(combined)))));
    DWORD length = ::GetFullPathNameA(combined.c_str(), 0, nullptr, nullptr);
    if (length == 0) return combined;
    std::string full(length, '\0');
    length = ::GetFullPathNameA(combined.c_str(), length, full.data(), nullptr);
    if (length == 0 || length >= full.size()) return combined;
    full.resize(length);
    return full;
}
