#include "windows/launcher_paths.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <ctime>

#include "core/path_rules.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/path_forms.h"
#include "windows/base/security.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/launcher_state.h"

namespace {

constexpr size_t kPathLimit = 6000;

struct TempChoice {
    bool chosen = false;
    bool relaxed = false;
    TempDirectoryForms user;

    bool manualSet = false;
    TempDirectoryForms manual;
};

TempChoice& choice()
{
    static TempChoice* instance = new TempChoice();
    return *instance;
}

void note(PathNotes& notes, const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    notes.push_back(formatWideV(format, arguments));
    va_end(arguments);
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
    // An elevated or SYSTEM process asks for its own temp directory where the system has one
    // (SYSTEM's is private; GetTempPathW would give it the shared Windows\Temp).
    static const auto getTempPath2 = kernelFunction<decltype(&::GetTempPathW)>("GetTempPath2W");
    const auto getTempPath = getTempPath2 != nullptr && processIsElevated() ? getTempPath2 : &::GetTempPathW;
    DWORD length = getTempPath(MAX_PATH + 1, buffer);
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
    // A directory other users may create in: taken only when it and every directory above it
    // belong to SYSTEM, Administrators, TrustedInstaller or this user, so nobody else can rename
    // it or replace what is made in it.
    bool shared = false;
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

bool tryCandidate(const Candidate& candidate, const std::wstring& windows, bool relaxed, bool switchToLongForm,
                  PathNotes& notes)
{
    const std::wstring wide = candidate.path(windows);
    if (wide.empty()) return false;
    if (candidate.createFirst) ::CreateDirectoryW(wide.c_str(), nullptr);
    if (candidate.shared && !ownedByTrustedAccounts(wide)) {
        note(notes, L"not using %s: owned by another account", wide.c_str());
        return false;
    }
    std::string narrow = narrowFormOf(wide);
    // The relaxed pass tolerates a long form with "?" but still switches to a long form when asked.
    bool checkLongForm = !relaxed && candidate.checkLongForm;
    bool switchHere = switchToLongForm && (relaxed || candidate.checkLongForm);
    if (!usableDirectoryNarrow(narrow, false, checkLongForm, switchHere, notes)) return false;
    if (!usableDirectoryWide(wide, false, relaxed ? false : candidate.checkLongForm, notes)) return false;
    TempChoice& state = choice();
    state.user.wide = wide;
    state.user.narrow = narrow;
    return true;
}

void chooseUserTempDirectory(PathNotes& notes)
{
    TempChoice& state = choice();
    if (state.chosen) return;
    state.chosen = true;
    const bool switchToLongForm = launcherState().longTempPaths;
    const std::wstring windows = windowsDirectory();
    auto systemTemp = [](const std::wstring&) { return systemTempPath(); };
    auto commonTemp = [](const std::wstring&) { return commonAppDataTemp(); };
    auto windowsTemp = [](const std::wstring& w) { return w.empty() ? w : w + L"\\temp"; };
    auto cTemp = [](const std::wstring&) { return std::wstring(L"c:\\temp"); };
    auto cTmp = [](const std::wstring&) { return std::wstring(L"c:\\tmp"); };
    auto windowsItself = [](const std::wstring& w) { return w; };
    // Pass 1: long forms are tested for the first four; from the fifth only probe and folding.
    const Candidate firstPass[] = {
        {systemTemp, true, true},         {profileTemp, false, true},         {homeDirectory, false, true},
        {commonTemp, false, true, true},  {windowsTemp, false, false, true},  {cTemp, false, false, true},
        {cTmp, false, false, true},       {windowsItself, false, false, true}, {cTmp, true, false, true},
    };
    // Pass 2 accepts long forms the code page cannot show: the short forms still work.
    const Candidate secondPass[] = {{systemTemp, true, false}, {profileTemp, false, false}, {homeDirectory, false, false}};

    bool found = false;
    int index = 0;
    for (const Candidate& candidate : firstPass) {
        ++index;
        if (tryCandidate(candidate, windows, false, switchToLongForm, notes)) {
            found = true;
            break;
        }
    }
    for (size_t i = 0; !found && i < sizeof secondPass / sizeof secondPass[0]; ++i) {
        ++index;
        if (tryCandidate(secondPass[i], windows, true, switchToLongForm, notes)) {
            found = true;
            state.relaxed = true;
        }
    }
    if (found)
        note(notes, L"user temp dir %s (%S), candidate %d", state.user.wide.c_str(), state.user.narrow.c_str(), index);
    else
        note(notes, L"no usable temp dir");
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
        if (pathExists(path)) ::RemoveDirectoryA(path.c_str());
        return true;
    } else {
        std::wstring path = withoutTrailingSlash(directory) + L"\\tlwtw" + std::to_wstring(::GetCurrentProcessId()) +
                            std::to_wstring(probeRandom());
        ::RemoveDirectoryW(path.c_str());
        if (!::CreateDirectoryW(path.c_str(), nullptr)) return false;
        if (pathExists(path)) ::RemoveDirectoryW(path.c_str());
        return true;
    }
}

}  // namespace

unsigned probeRandom()
{
    static bool seeded = false;
    if (!seeded) {
        std::srand(static_cast<unsigned>(::GetCurrentProcessId() * static_cast<unsigned>(std::time(nullptr))));
        seeded = true;
    }
    return static_cast<unsigned>(std::rand());
}

ExecutablePaths findExecutablePaths(PathNotes& notes)
{
    std::wstring moduleName = moduleFileName();
    std::wstring longForm = longPathWide(moduleName);
    DWORD error = ::GetLastError();
    note(notes, L"init file name %s %s %d %d", moduleName.c_str(), longForm.c_str(), static_cast<int>(longForm.size()),
         static_cast<int>(error));
    if (longForm.empty()) longForm = moduleName;

    std::string narrow = narrowExecutableForm(longForm);
    if (narrow.empty()) narrow = narrowExecutableForm(shortPathWide(longForm));
    if (narrow.empty()) {
        narrow = shortPathByShell(longForm, notes);
        if (!endsWithExe(narrow)) narrow.clear();
    }
    if (narrow.empty()) {
        char name[MAX_PATH + 1] = "";
        DWORD length = ::GetModuleFileNameA(nullptr, name, MAX_PATH + 1);
        narrow = length > 0 && length <= MAX_PATH ? std::string(name, length) : std::string();
        std::string shortForm = shortPathNarrow(narrow);
        if (!shortForm.empty()) narrow = shortForm;
    }

    ExecutablePaths paths;
    paths.pathWide = toWide(collapseBackslashes(toU16(longForm)));
    paths.pathNarrow = collapsed(narrow);
    size_t slash = paths.pathWide.find_last_of(L"\\/");
    paths.directoryWide = slash == std::wstring::npos ? L".\\" : paths.pathWide.substr(0, slash + 1);
    size_t narrowSlash = paths.pathNarrow.find_last_of("\\/");
    paths.directoryNarrow = narrowSlash == std::string::npos ? ".\\" : paths.pathNarrow.substr(0, narrowSlash + 1);
    return paths;
}

std::string shortPathByShell(const std::wstring& path, PathNotes& notes)
{
    const std::wstring windows = windowsDirectory();
    std::wstring command =
        formatWide(L"%s\\system32\\cmd.exe /C for %%I in (\"%s\") do @echo %%~sI", windows.c_str(), path.c_str());
    note(notes, L"executing %s", command.c_str());

    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.bInheritHandle = TRUE;
    unique_handle readEnd;
    unique_handle writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &security, 0)) {
        note(notes, L"CreatePipe error (%d)", static_cast<int>(::GetLastError()));
        return {};
    }
    // Only the write end goes to the child; an inherited read end would keep the pipe open.
    if (!::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        note(notes, L"SetHandleInformation error (%d)", static_cast<int>(::GetLastError()));
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
        note(notes, L"could not execute cmd.exe");
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
    note(notes, L"finished reading from cmd.exe %d \"%S\"", static_cast<int>(output.size()), output.c_str());
    ::WaitForSingleObject(process.get(), 2000);
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(process.get(), &exitCode);
    note(notes, L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == STILL_ACTIVE) {
        note(notes, L"Terminating process");
        ::TerminateProcess(process.get(), 1);
        return {};
    }
    if (exitCode != 0 || output.size() < 6) return {};
    std::string result = output.substr(0, output.find_first_of("\r\n"));
    // Output that names nothing (an interpreter that printed an error) is no path.
    if (result.empty() || !pathExists(result)) return {};
    note(notes, L"Using %S", result.c_str());
    return result;
}

bool usableDirectoryNarrow(std::string& path, bool createFirst, bool checkLongForm, bool switchToLongForm,
                           PathNotes& notes)
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
            note(notes, L"using long path %S", longForm.c_str());
            path = longForm;
        }
    }
    return probe(path);
}

bool usableDirectoryWide(const std::wstring& path, bool createFirst, bool checkLongForm, PathNotes& notes)
{
    if (path.empty()) return false;
    if (createFirst) ::CreateDirectoryW(path.c_str(), nullptr);
    std::wstring folded = foldPrecomposed(path);
    if (folded.size() != path.size()) {
        note(notes, L"folding error %s %d %s %d", path.c_str(), static_cast<int>(path.size()), folded.c_str(),
             static_cast<int>(folded.size()));
        return false;
    }
    if (checkLongForm) {
        std::wstring longForm = longPathWide(path);
        std::wstring foldedLong = foldPrecomposed(longForm);
        if (longForm.find(L'?') != std::wstring::npos || foldedLong.size() != longForm.size()) {
            note(notes, L"folding error2 %s %d %s %d", longForm.c_str(), static_cast<int>(longForm.size()),
                 foldedLong.c_str(), static_cast<int>(foldedLong.size()));
            return false;
        }
    }
    return probe(path);
}

TempDirectoryForms userTempDirectory(PathNotes& notes)
{
    TempChoice& state = choice();
    if (state.manualSet) return state.manual;
    chooseUserTempDirectory(notes);
    return state.user;
}

bool relaxedTempDirectory() { return choice().relaxed; }

void setManualTemporaryDirectory(const std::wstring& wide, const std::string& narrow)
{
    TempChoice& state = choice();
    state.manualSet = true;
    state.manual.wide = wide;
    state.manual.narrow = narrow;
}

bool manualTemporaryDirectorySet() { return choice().manualSet; }
