#include "windows/temp_dirs.h"

#include <windows.h>

#include "core/path_rules.h"
#include "windows/base/handles.h"
#include "windows/base/path_forms.h"
#include "windows/base/security.h"
#include "windows/base/wide_text.h"
#include "windows/launcher_paths.h"
#include "windows/native_log.h"

namespace {

struct Paths {
    bool executableKnown = false;
    ExecutablePaths executable;
    std::string temporaryDirectory;
};

Paths& paths()
{
    static Paths* instance = new Paths();
    return *instance;
}

void logNotes(const PathNotes& notes)
{
    for (const std::wstring& line : notes) logInfo(L"%s", line.c_str());
}

const ExecutablePaths& executable()
{
    Paths& state = paths();
    if (!state.executableKnown) {
        state.executableKnown = true;
        PathNotes notes;
        state.executable = findExecutablePaths(notes);
        logNotes(notes);
    }
    return state.executable;
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

std::string withTrailingBackslash(std::string path)
{
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path;
}

// Through UTF-16: in a double-byte code page a backslash byte may be the second half of a character.
std::string collapsed(const std::string& path)
{
    if (path.empty()) return path;
    return wideToNarrow(toWide(collapseBackslashes(toU16(narrowToWide(path)))));
}

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

const std::wstring& executablePathWide() { return executable().pathWide; }
const std::string& executablePathNarrow() { return executable().pathNarrow; }
const std::wstring& executableDirectoryWide() { return executable().directoryWide; }
const std::string& executableDirectoryNarrow() { return executable().directoryNarrow; }

std::wstring userTempDirectoryWide()
{
    PathNotes notes;
    TempDirectoryForms forms = userTempDirectory(notes);
    logNotes(notes);
    return forms.wide;
}

std::string userTempDirectoryNarrow()
{
    PathNotes notes;
    TempDirectoryForms forms = userTempDirectory(notes);
    logNotes(notes);
    return forms.narrow;
}

std::string temporaryDirectoryName() { return paths().temporaryDirectory; }
void clearTemporaryDirectoryName() { paths().temporaryDirectory.clear(); }
void setTemporaryDirectoryName(const std::string& directory) { paths().temporaryDirectory = directory; }

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

HeldFile holdExtractedFile(const std::wstring& path)
{
    HeldFile held;
    const std::string directory = temporaryDirectoryName();
    if (directory.empty()) return held;
    // Long forms on both sides: the narrow paths may hold short (8.3) components.
    const std::wstring root = longPathWide(fullPathWide(narrowToWide(directory)));
    const std::wstring full = longPathWide(fullPathWide(path));
    if (root.empty() || full.size() <= root.size() + 1 || full[root.size()] != L'\\' ||
        ::CompareStringOrdinal(full.c_str(), static_cast<int>(root.size()), root.c_str(),
                               static_cast<int>(root.size()), TRUE) != CSTR_EQUAL)
        return held;
    for (size_t end = full.find(L'\\', root.size() + 1);; end = full.find(L'\\', end + 1)) {
        if (isReparsePoint(full.substr(0, end))) {
            held.refused = true;
            return held;
        }
        if (end == std::wstring::npos) break;
    }
    held.file.reset(::CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (held.file && ::GetFileInformationByHandle(held.file.get(), &information) &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        held.file.reset();
        held.refused = true;
    }
    return held;
}
