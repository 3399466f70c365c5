#include "windows/base/path_forms.h"
#include "windows/temp_dirs.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/config_keys.h"
#include "core/path_rules.h"
#include "windows/config_block.h"
#include "windows/base/handles.h"
#include "windows/native_log.h"
#include "windows/base/wide_text.h"

namespace {

constexpr size_t kPathLimit = 6000;

struct Paths {
    bool executableKnown = false;
    std::wstring executableWide;
    std::string executableNarrow;
    std::wstring directoryWide;
    std::string directoryNarrow;

    bool userTempChosen = false;
    bool relaxed = false;
    std::wstring userTempWide;
    std::string userTempNarrow;

    bool manualSet = false;
    std::wstring manualWide;
    std::string manualNarrow;

    std::string temporaryDirectory;

    // The log opens its file in the user temp directory, so lines written while that directory
    // is being chosen would reopen the log from inside its own opening: they wait here.
    bool choosing = false;
    std::vector<std::wstring> pendingLines;
};

Paths& paths()
{
    static Paths* instance = new Paths();
    return *instance;
}

void note(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::wstring text = formatWideV(format, arguments);
    va_end(arguments);
    Paths& state = paths();
    if (state.choosing) state.pendingLines.push_back(text);
    else logInfo(L"%s", text.c_str());
}

void flushPendingLines()
{
    Paths& state = paths();
    if (state.choosing || state.pendingLines.empty()) return;
    std::vector<std::wstring> lines;
    lines.swap(state.pendingLines);
    for (const std::wstring& line : lines) logInfo(L"%s", line.c_str());
}

bool endsWithExe(const std::string& path)
{
    if (path.size() < 5) return false;
    return ::_stricmp(path.c_str() + path.size() - 4, ".exe") == 0;
}

// The narrow form of wide when it converts without loss and ends in ".exe"; else empty.
std::string narrowExecutableForm(const std::wstring& wide)
{
    if (wide.empty()) return {};
    bool lossy = false;
    std::string narrow = wideToNarrow(wide, CP_ACP, &lossy);
    return (!lossy && endsWithExe(narrow)) ? narrow : std::string();
}

// Through UTF-16: in a double-byte code page a backslash byte may be the second half of a character.
std::string collapsed(const std::string& path)
{
    if (path.empty()) return path;
    return wideToNarrow(toWide(collapseBackslashes(toU16(narrowToWide(path)))));
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
    if (longForm.empty()) longForm = moduleName;

    std::string narrow = narrowExecutableForm(longForm);
    if (narrow.empty()) narrow = narrowExecutableForm(shortPathWide(longForm));
    if (narrow.empty()) {
        narrow = shortPathByShell(longForm);
        if (!endsWithExe(narrow)) narrow.clear();
    }
    if (narrow.empty()) {
        char name[MAX_PATH + 1] = "";
        DWORD length = ::GetModuleFileNameA(nullptr, name, MAX_PATH + 1);
        narrow = length > 0 && length <= MAX_PATH ? std::string(name, length) : std::string();
        std::string shortForm = shortPathNarrow(narrow);
        if (!shortForm.empty()) narrow = shortForm;
    }

    state.executableWide = toWide(collapseBackslashes(toU16(longForm)));
    state.executableNarrow = collapsed(narrow);
    size_t slash = state.executableWide.find_last_of(L"\\/");
    state.directoryWide = slash == std::wstring::npos ? L".\\" : state.executableWide.substr(0, slash + 1);
    size_t narrowSlash = state.executableNarrow.find_last_of("\\/");
    state.directoryNarrow =
        narrowSlash == std::string::npos ? ".\\" : state.executableNarrow.substr(0, narrowSlash + 1);
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

std::string withTrailingBackslash(std::string path)
{
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path;
}

// Precomposed folding that changes the length shows combining sequences that narrow file APIs
// and the Java runtime do not round-trip.
std::wstring foldPrecomposed(const std::wstring& text)
{
    if (text.empty()) return {};
    int length = ::FoldStringW(MAP_PRECOMPOSED, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring folded(static_cast<size_t>(length), L'\0');
    ::FoldStringW(MAP_PRECOMPOSED, text.c_str(), -1, folded.data(), length);
    folded.resize(static_cast<size_t>(length) - 1);
    return folded;
}

std::wstring environmentWide(const wchar_t* name)
{
    DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    size = ::GetEnvironmentVariableW(name, value.data(), size);
    if (size == 0 || size >= value.size()) return {};
    value.resize(size);
    return value;
}

std::wstring systemTempPath()
{
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return {};
    return withoutTrailingSlash(std::wstring(buffer, length));
}

std::wstring windowsDirectory()
{
    wchar_t buffer[MAX_PATH + 1];
    UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return {};
    return withoutTrailingSlash(std::wstring(buffer, length));
}

std::wstring commonAppDataTemp()
{
    wchar_t buffer[MAX_PATH + 1];
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    std::wstring base = withoutTrailingSlash(std::wstring(buffer)) + L"\\stowline";
    ::CreateDirectoryW(base.c_str(), nullptr);
    base += L"\\temp";
    ::CreateDirectoryW(base.c_str(), nullptr);
    return base;
}

struct Candidate {
    std::wstring (*path)(const std::wstring& windows);  // asked only when the candidate is reached
    bool createFirst;
    bool checkLongForm;
};

std::wstring profileTemp(const std::wstring&)
{
    const std::wstring profile = environmentWide(L"USERPROFILE");
    return profile.empty() ? std::wstring() : profile + L"\\AppData\\Local\\Temp";
}

std::wstring homeDirectory(const std::wstring&)
{
    const std::wstring drive = environmentWide(L"HOMEDRIVE");
    const std::wstring path = environmentWide(L"HOMEPATH");
    return drive.empty() || path.empty() ? std::wstring() : drive + path;
}

// The narrow form that names the same directory: the plain conversion, or the short form when
// the code page cannot hold a character of the long one.
std::string narrowFormOf(const std::wstring& wide)
{
    bool lossy = false;
    std::string narrow = wideToNarrow(wide, CP_ACP, &lossy);
    if (!lossy) return narrow;
    std::wstring shortForm = shortPathWide(wide);
    if (shortForm.empty()) return narrow;
    std::string shortNarrow = wideToNarrow(shortForm, CP_ACP, &lossy);
    return lossy ? narrow : shortNarrow;
}

bool tryCandidate(const Candidate& candidate, const std::wstring& windows, bool relaxed, bool switchToLongForm)
{
    const std::wstring wide = candidate.path(windows);
    if (wide.empty()) return false;
    if (candidate.createFirst) ::CreateDirectoryW(wide.c_str(), nullptr);
    std::string narrow = narrowFormOf(wide);
    // The relaxed pass tolerates a long form with "?" but still switches to a long form when asked.
    bool checkLongForm = !relaxed && candidate.checkLongForm;
    bool switchHere = switchToLongForm && (relaxed || candidate.checkLongForm);
    if (!usableDirectoryNarrow(narrow, false, checkLongForm, switchHere)) return false;
    if (!usableDirectoryWide(wide, false, relaxed ? false : candidate.checkLongForm)) return false;
    Paths& state = paths();
    state.userTempWide = wide;
    state.userTempNarrow = narrow;
    return true;
}

void chooseUserTempDirectory()
{
    Paths& state = paths();
    if (state.userTempChosen) return;
    state.userTempChosen = true;
    state.choosing = true;
    const bool switchToLongForm = configFlag(keys::kLongTempPaths);
    const std::wstring windows = windowsDirectory();
    auto systemTemp = [](const std::wstring&) { return systemTempPath(); };
    auto commonTemp = [](const std::wstring&) { return commonAppDataTemp(); };
    auto windowsTemp = [](const std::wstring& w) { return w.empty() ? w : w + L"\\temp"; };
    auto cTemp = [](const std::wstring&) { return std::wstring(L"c:\\temp"); };
    auto cTmp = [](const std::wstring&) { return std::wstring(L"c:\\tmp"); };
    auto windowsItself = [](const std::wstring& w) { return w; };
    // Pass 1: long forms are tested for the first four; from the fifth only probe and folding.
    const Candidate firstPass[] = {
        {systemTemp, true, true},   {profileTemp, false, true}, {homeDirectory, false, true},
        {commonTemp, false, true},  {windowsTemp, false, false}, {cTemp, false, false},
        {cTmp, false, false},       {windowsItself, false, false}, {cTmp, true, false},
    };
    // Pass 2 accepts long forms the code page cannot show: the short forms still work.
    const Candidate secondPass[] = {{systemTemp, true, false}, {profileTemp, false, false}, {homeDirectory, false, false}};

    bool found = false;
    int index = 0;
    for (const Candidate& candidate : firstPass) {
        ++index;
        if (tryCandidate(candidate, windows, false, switchToLongForm)) {
            found = true;
            break;
        }
    }
    for (size_t i = 0; !found && i < sizeof secondPass / sizeof secondPass[0]; ++i) {
        ++index;
        if (tryCandidate(secondPass[i], windows, true, switchToLongForm)) {
            found = true;
            state.relaxed = true;
        }
    }
    if (found)
        note(L"user temp dir %s (%S), candidate %d", state.userTempWide.c_str(), state.userTempNarrow.c_str(), index);
    else
        note(L"no usable temp dir");
    state.choosing = false;
}

// Probe: a fresh directory can be created inside the candidate.
template <typename Char>
bool probe(const std::basic_string<Char>& directory)
{
    if constexpr (sizeof(Char) == 1) {
        std::string path = withoutTrailingSlash(directory) + "\\tlwtw" + std::to_string(::GetCurrentProcessId()) +
                           std::to_string(probeRandom());
        ::RemoveDirectoryA(path.c_str());
        if (!::CreateDirectoryA(path.c_str(), nullptr)) return false;
        if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) ::RemoveDirectoryA(path.c_str());
        return true;
    } else {
        std::wstring path = withoutTrailingSlash(directory) + L"\\tlwtw" + std::to_wstring(::GetCurrentProcessId()) +
                            std::to_wstring(probeRandom());
        ::RemoveDirectoryW(path.c_str());
        if (!::CreateDirectoryW(path.c_str(), nullptr)) return false;
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) ::RemoveDirectoryW(path.c_str());
        return true;
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

std::string shortPathByShell(const std::wstring& path)
{
    const std::wstring windows = windowsDirectory();
    std::wstring command =
        formatWide(L"%s\\system32\\cmd.exe /C for %%I in (\"%s\") do @echo %%~sI", windows.c_str(), path.c_str());
    logInfo(L"executing %s", command.c_str());

    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.bInheritHandle = TRUE;
    unique_handle readEnd;
    unique_handle writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &security, 0)) {
        logInfo(L"CreatePipe error (%d)", static_cast<int>(::GetLastError()));
        return {};
    }
    // Only the write end goes to the child; an inherited read end would keep the pipe open.
    if (!::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        logInfo(L"SetHandleInformation error (%d)", static_cast<int>(::GetLastError()));
        return {};
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION information{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &information)) {
        logInfo(L"could not execute cmd.exe");
        return {};
    }
    unique_handle process(information.hProcess);
    unique_handle thread(information.hThread);
    writeEnd.reset();

    std::string output;
    char buffer[512];
    while (output.size() < kPathLimit) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min(sizeof buffer, kPathLimit - output.size()));
        if (!::ReadFile(readEnd.get(), buffer, want, &got, nullptr) || got == 0) break;
        output.append(buffer, got);
    }
    logInfo(L"finished reading from cmd.exe %d \"%S\"", static_cast<int>(output.size()), output.c_str());
    ::WaitForSingleObject(process.get(), 2000);
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(process.get(), &exitCode);
    logInfo(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == STILL_ACTIVE) {
        logInfo(L"Terminating process");
        ::TerminateProcess(process.get(), 1);
        return {};
    }
    if (exitCode != 0 || output.size() < 6) return {};
    std::string result = output.substr(0, output.find_first_of("\r\n"));
    // Output that names nothing (an interpreter that printed an error) is no path.
    if (result.empty() || ::GetFileAttributesA(result.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    logInfo(L"Using %S", result.c_str());
    return result;
}

bool usableDirectoryNarrow(std::string& path, bool createFirst, bool checkLongForm, bool switchToLongForm)
{
    if (path.empty()) return false;
    if (createFirst) ::CreateDirectoryA(path.c_str(), nullptr);
    if (checkLongForm) {
        std::string longForm = longPathNarrow(path);
        if (longForm.find('?') != std::string::npos) return false;
    }
    if (switchToLongForm) {
        // A long form with "?" names no directory: keep the form that does.
        std::string longForm = longPathNarrow(path);
        if (!longForm.empty() && longForm != path && longForm.size() < kPathLimit &&
            longForm.find('?') == std::string::npos) {
            note(L"using long path %S", longForm.c_str());
            path = longForm;
        }
    }
    return probe(path);
}

bool usableDirectoryWide(const std::wstring& path, bool createFirst, bool checkLongForm)
{
    if (path.empty()) return false;
    if (createFirst) ::CreateDirectoryW(path.c_str(), nullptr);
    std::wstring folded = foldPrecomposed(path);
    if (folded.size() != path.size()) {
        note(L"folding error %s %d %s %d", path.c_str(), static_cast<int>(path.size()), folded.c_str(),
             static_cast<int>(folded.size()));
        return false;
    }
    if (checkLongForm) {
        std::wstring longForm = longPathWide(path);
        std::wstring foldedLong = foldPrecomposed(longForm);
        if (longForm.find(L'?') != std::wstring::npos || foldedLong.size() != longForm.size()) {
            note(L"folding error2 %s %d %s %d", longForm.c_str(), static_cast<int>(longForm.size()),
                 foldedLong.c_str(), static_cast<int>(foldedLong.size()));
            return false;
        }
    }
    return probe(path);
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
    flushPendingLines();
    if (state.userTempNarrow.empty()) fatalMessage(messages::kPowerUserRequired, nullptr);
    return state.userTempNarrow;
}

bool relaxedTempDirectory() { return paths().relaxed; }

void setManualTemporaryDirectory(const std::wstring& wide, const std::string& narrow)
{
    Paths& state = paths();
    state.manualSet = true;
    state.manualWide = wide;
    state.manualNarrow = narrow;
}

bool manualTemporaryDirectorySet() { return paths().manualSet; }

// The extraction directory is narrow: its path is handed to the Java runtime's narrow interfaces.
void createTemporaryDirectory()
{
    Paths& state = paths();
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string directory = withTrailingBackslash(userTempDirectoryNarrow());
        logInfo(L"tempPath is %S", directory.c_str());
        char file[MAX_PATH + 1] = "";
        std::string tempFile;
        if (::GetTempFileNameA(directory.c_str(), "tlw", 0, file) != 0) {
            tempFile = file;
        } else {
            logInfo(L"GetTempFileName failed (last error %d)", static_cast<int>(::GetLastError()));
            tempFile = directory + "tlw" + std::to_string(probeRandom());
        }
        logInfo(L"tempFile is %S", tempFile.c_str());
        std::string name = tempFile + "_dir" + std::to_string(static_cast<long long>(std::time(nullptr)));
        logInfo(L"Temp dir3: %S", name.c_str());
        if (name.size() < kPathLimit && ::CreateDirectoryA(name.c_str(), nullptr)) {
            state.temporaryDirectory = name;
            return;
        }
        logInfo(L"Could not create dir (%d)", static_cast<int>(::GetLastError()));
    }
    state.temporaryDirectory.clear();
    fatalMessage(messages::kInternalError, std::to_wstring(internal_errors::kNoTemporaryDirectory).c_str());
}

std::string temporaryDirectoryName() { return paths().temporaryDirectory; }
void clearTemporaryDirectoryName() { paths().temporaryDirectory.clear(); }
void setTemporaryDirectoryName(const std::string& directory) { paths().temporaryDirectory = directory; }

namespace {

bool emptyDirectory(const std::string& base, bool recursive)
{
    logInfo(L"emptying %S", base.c_str());
    bool complete = true;
    WIN32_FIND_DATAA entry;
    unique_find find(::FindFirstFileA((base + "\\*.*").c_str(), &entry));
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        std::string child = base + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logInfo(L"attempting to remove %S (%d)", child.c_str(), recursive ? 1 : 0);
            // A junction is removed as a link: following it would empty the directory it points to.
            if (recursive && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                !emptyDirectory(child, true))
                complete = false;
            if (!::RemoveDirectoryA(child.c_str())) complete = false;
        } else {
            logInfo(L"attempting to delete %S", child.c_str());
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                ::SetFileAttributesA(child.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            if (!::DeleteFileA(child.c_str())) complete = false;
        }
    } while (::FindNextFileA(find.get(), &entry));
    return complete;
}

// Windows refuses to remove a directory that is a process's current directory, and the work flow
// makes the extraction directory the current one: step out to the executable's directory first.
void leaveDirectory(const std::string& directory)
{
    char current[MAX_PATH + 1];
    DWORD length = ::GetCurrentDirectoryA(MAX_PATH + 1, current);
    if (length == 0 || length > MAX_PATH) return;
    std::string inside = withTrailingBackslash(std::string(current, length));
    std::string removed = withTrailingBackslash(directory);
    if (inside.size() >= removed.size() && ::_strnicmp(inside.c_str(), removed.c_str(), removed.size()) == 0)
        ::SetCurrentDirectoryW(executableDirectoryWide().c_str());
}

}  // namespace

// Narrow like the extraction directory's name; names inside it are the payload's narrow names.
bool deleteTree(const std::string& directory, bool recursive)
{
    if (directory.empty() || directory[0] == '.') return false;
    std::string base = withoutTrailingSlash(directory);
    leaveDirectory(base);
    bool complete = emptyDirectory(base, recursive);
    if (!::RemoveDirectoryA(base.c_str())) complete = false;
    return complete;
}

std::wstring resolvePath(const std::wstring& path, bool narrowDirectoryForm)
{
    const std::wstring directory =
        narrowDirectoryForm ? narrowToWide(executableDirectoryNarrow()) : executableDirectoryWide();
    std::wstring combined = isAbsolutePath(toU16(path)) ? path : directory + path;
    return fullPathWide(toWide(collapseBackslashes(toU16(combined))));
}

std::string resolvePathNarrow(const std::string& path)
{
    std::string combined = isAbsolutePath(toU16(narrowToWide(path))) ? path : executableDirectoryNarrow() + path;
    return fullPathNarrow(collapsed(combined));
}
