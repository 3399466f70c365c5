#include "windows/jvm_search.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "core/config_keys.h"
#include "core/jvm_search_rules.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/path_forms.h"
#include "windows/base/registry.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/java_version.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/process_environment.h"
#include "windows/runtime_archive.h"
#include "windows/temp_dirs.h"
#include "windows/variables.h"

namespace {

constexpr size_t kPathCapacity = 6000;
constexpr DWORD kCurrentVersionCapacity = 100;

const char kSharedRuntimesRoot[] = "SOFTWARE\\fenmoor\\stowline\\sharedjvms\\";
const char kLocatedRuntimesRoot[] = "SOFTWARE\\fenmoor\\tallow\\locatedjvms";
const char kInstallationsKey[] = "SOFTWARE\\fenmoor\\stowline\\installations";

// A runtime under test: its java.exe and the version its check found.
struct Candidate {
    std::string javaExe;
    std::string version;
};

// Why the last loadJvmDll found no usable jvm.dll.
struct LoadFailure {
    bool anyExists = false;     // some VM directory held a jvm.dll
    bool otherBitness = false;  // the last one that existed is built for the other CPU
    DWORD error = 0;            // the Win32 error of the last one that existed
};

struct SearchState {
    LoadedJvm loaded;
    std::string lastBinDirectory;  // of the last tryJvmDll that loaded
    LoadFailure loadFailure;
    std::vector<ConsideredCandidate> account;  // every candidate of this search, in order
    std::string source;                        // UTF-8: where the candidates under test come from
};

SearchState& state()
{
    static SearchState* instance = new SearchState();
    return *instance;
}

const wchar_t* bitness() { return sizeof(void*) == 8 ? L"64" : L"32"; }

std::string utf8(const std::wstring& text) { return wideToNarrow(text, CP_UTF8); }
std::string utf8(const std::string& ansi) { return utf8(narrowToWide(ansi)); }

// Where the candidates checked from now on come from (ANSI text).
void setSource(const std::string& label) { state().source = utf8(label); }

void note(const std::string& path, Refusal reason, const std::string& version = {}, DWORD error = 0)
{
    ConsideredCandidate candidate{state().source, utf8(path), reason, version, {}, error};
    if (reason == Refusal::BelowMinimum) candidate.bound = versionBounds().minimumText;
    if (reason == Refusal::AboveMaximum) candidate.bound = versionBounds().maximumText;
    noteCandidate(state().account, candidate);
}

// checkJavaExe, with its verdict noted in the account of this search.
bool checkCandidate(std::string& javaExe, bool betaAllowed, bool useCache, bool writeCache, std::string& version)
{
    bool passed = checkJavaExe(javaExe, betaAllowed, useCache, writeCache, version);
    const CheckOutcome& outcome = lastCheckOutcome();
    note(javaExe, passed ? Refusal::None : outcome.reason, outcome.version);
    return passed;
}

// locateJavaExe; a JDK that lacks "lib\tools.jar" is noted as missing it.
bool locateCandidate(const std::string& home, std::string& javaExe)
{
    if (locateJavaExe(home, javaExe)) return true;
    note(home + "\\lib\\tools.jar", Refusal::Missing);
    return false;
}

// The form of a path the narrow search can carry: the path itself when the ANSI code page holds
// it, else its short form (which must exist). False when neither can show it (no short names on
// that volume); the candidate is then noted as refused.
bool narrowUsable(const std::wstring& path, std::string& narrow)
{
    narrow = wideToNarrow(path, CP_ACP);
    // A best-fit mapping would name another file: only an exact round trip keeps the path.
    if (narrowToWide(narrow, CP_ACP) == path) return true;
    std::wstring shortForm = shortPathWide(path);
    std::string shortNarrow = wideToNarrow(shortForm, CP_ACP);
    if (shortForm.empty() || narrowToWide(shortNarrow, CP_ACP) != shortForm) {
        logInfo(L"No short path name for %s, which the ANSI code page cannot show", path.c_str());
        noteCandidate(state().account, {state().source, utf8(path), Refusal::NoShortPath, {}, {}, 0});
        return false;
    }
    logInfo(L"Using short path name %S for %s", shortNarrow.c_str(), path.c_str());
    narrow = shortNarrow;
    return true;
}

// A directory argument after wide expansion (expanded is its narrow text): usable is expanded
// itself when the code page shows it, else the short form, a relative one taken from the
// launcher's directory (the narrow path keeps its own resolution otherwise).
bool usableDirectory(std::wstring wide, const std::string& expanded, std::string& usable)
{
    if (narrowToWide(expanded, CP_ACP) == wide) {
        usable = expanded;
        return true;
    }
    if (!startsWithDriveOrUnc(wideToNarrow(wide, CP_UTF8))) wide = narrowToWide(executableDirectoryNarrow()) + wide;
    return narrowUsable(wide, usable);
}

// Strict UTF-8 to UTF-16; false for anything else.
bool fromUtf8(const std::string& text, std::wstring& wide)
{
    int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
    if (length <= 0) return false;
    wide.assign(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return true;
}

// Narrow registry text: the data up to its first NUL (it may lack a terminator). Returns the
// registry's result; a value longer than capacity is ERROR_MORE_DATA.
LONG readRegistryString(HKEY key, const char* subkey, const char* name, DWORD capacity, std::string& value)
{
    std::vector<char> data(capacity);
    DWORD size = capacity;
    LONG result = ::RegGetValueA(key, subkey, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                                 data.data(), &size);
    if (result == ERROR_SUCCESS) value.assign(data.data(), strnlen(data.data(), size));
    return result;
}

// Wide registry text (the data up to its first NUL); the registry's result.
LONG readRegistryStringWide(HKEY key, const wchar_t* subkey, const wchar_t* name, DWORD capacity, std::wstring& value)
{
    std::vector<wchar_t> data(capacity);
    DWORD size = capacity * sizeof(wchar_t);
    LONG result = ::RegGetValueW(key, subkey, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                                 data.data(), &size);
    if (result == ERROR_SUCCESS) value.assign(data.data(), wcsnlen(data.data(), size / sizeof(wchar_t)));
    return result;
}

std::wstring slashesToBackslashes(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'/') c = L'\\';
    }
    return text;
}

// Names longer than 255 characters are passed over: no runtime key is named so.
std::vector<std::string> shortSubkeyNames(HKEY key)
{
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        LONG result = ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// A runtime-location file's first line; false when the file is missing, unreadable or empty.
bool readLocationFile(const std::string& path, std::string& line)
{
    unique_file file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::string content(kPathCapacity + 2, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr)) return false;
    content.resize(read);
    line = firstLocationLine(content, kPathCapacity);
    return !line.empty();
}

std::string applicationDirectory()
{
    std::string configured = configStringDup(keys::kRuntimeConfigDirectory);
    std::string resolved = resolvePathNarrow(configured);
    while (resolved.size() > 3 && resolved.back() == '\\') resolved.pop_back();
    return resolved;
}

// --- Sources -------------------------------------------------------------------------------

// The variable is read wide: a home the code page cannot show continues as its short form.
bool environmentSource(const char* variable, Candidate& candidate)
{
    std::wstring name = narrowToWide(variable);
    std::wstring value(kPathCapacity, L'\0');
    DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return false;
    value.resize(length);
    std::string home;
    if (!narrowUsable(slashesToBackslashes(value), home)) return false;
    if (!locateCandidate(home, candidate.javaExe)) return false;
    return checkCandidate(candidate.javaExe, false, true, true, candidate.version);
}

bool searchPathSource(Candidate& candidate)
{
    std::wstring found(kPathCapacity, L'\0');
    DWORD length = ::SearchPathW(nullptr, L"java.exe", nullptr, static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0 || length >= found.size()) return false;
    found.resize(length);
    if (!narrowUsable(found, candidate.javaExe)) return false;
    return checkCandidate(candidate.javaExe, false, true, true, candidate.version);
}

bool installationsFromKey(HKEY installations, const std::string& applicationId, Candidate& candidate)
{
    std::wstring list;
    LONG result =
        readRegistryStringWide(installations, nullptr, narrowToWide(applicationId).c_str(), kPathCapacity, list);
    if (result != ERROR_SUCCESS || list.empty()) {
        logInfo(L"could not query value node %d", static_cast<int>(result));
        return false;
    }
    logInfo(L"found installations: %S", wideToNarrow(list, CP_ACP).c_str());
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L';', start);
        if (end == std::wstring::npos) end = list.size();
        if (end == start) break;
        std::wstring wideDirectory = list.substr(start, end - start);
        start = end + 1;
        std::string directory;
        if (!narrowUsable(wideDirectory, directory)) continue;
        Candidate tried;
        if (!locateCandidate(directory + "\\jre", tried.javaExe)) {
            logInfo(L"did not find java in %S", directory.c_str());
            continue;
        }
        if (checkCandidate(tried.javaExe, false, true, true, tried.version)) {
            candidate = tried;
            return true;
        }
        logInfo(L"java version did not match in %S", directory.c_str());
    }
    return false;
}

bool previousInstallation(HKEY root, Candidate& candidate)
{
    std::string applicationId = configStringDup(keys::kApplicationId);
    logInfo(L"checking app id %S (%d, %p)", applicationId.c_str(), static_cast<int>(applicationId.size()),
            reinterpret_cast<void*>(root));
    if (applicationId.empty()) return false;
    setSource(std::string("installations ") + (root == HKEY_CURRENT_USER ? "HKCU " : "HKLM ") + applicationId);
    // The default view first, then the view of the launcher's own bitness.
    const REGSAM views[] = {0, static_cast<REGSAM>(sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY)};
    for (REGSAM view : views) {
        LSTATUS result = ERROR_SUCCESS;
        unique_hkey key = openKey(root, kInstallationsKey, KEY_READ, view, &result);
        if (result != ERROR_SUCCESS) {
            logInfo(L"could not open installation node %d", static_cast<int>(result));
            continue;
        }
        if (installationsFromKey(key.get(), applicationId, candidate)) return true;
    }
    return false;
}

// The best runtime below subkeyPath of one root: every admitted subkey names a java.exe (with "/"
// for "\"); the highest passing version wins, the first of equal ones stays.
bool bestRuntimeUnder(HKEY root, const std::string& subkeyPath, bool admitUnmarked, bool admitMarked,
                      Candidate& best)
{
    unique_hkey key = openKey(root, subkeyPath.c_str(), KEY_READ);
    if (!key) return false;
    setSource(std::string("Y ") + (root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + subkeyPath);
    std::vector<Candidate> passing;
    for (const std::wstring& name : subkeyNames(key.get())) {
        if (name.size() > 255) continue;
        Candidate candidate;
        if (!narrowUsable(slashesToBackslashes(name), candidate.javaExe)) continue;
        if (!runtimePathAdmitted(candidate.javaExe, admitUnmarked, admitMarked)) continue;
        if (checkCandidate(candidate.javaExe, true, true, true, candidate.version)) passing.push_back(candidate);
    }
    std::vector<std::string> versions;
    for (const Candidate& candidate : passing) versions.push_back(candidate.version);
    size_t index = highestVersionIndex(versions);
    if (index == versions.size()) return false;
    best = passing[index];
    return true;
}

// HKCU and HKLM each give their best; the user's wins only with a strictly higher version.
bool bestRuntimeOfBothRoots(const std::string& subkeyPath, bool admitUnmarked, bool admitMarked, Candidate& best)
{
    Candidate user;
    Candidate machine;
    bool haveUser = bestRuntimeUnder(HKEY_CURRENT_USER, subkeyPath, admitUnmarked, admitMarked, user);
    bool haveMachine = bestRuntimeUnder(HKEY_LOCAL_MACHINE, subkeyPath, admitUnmarked, admitMarked, machine);
    if (haveUser && (!haveMachine || isNewer(user.version, machine.version))) {
        best = user;
        return true;
    }
    if (haveMachine) best = machine;
    return haveMachine;
}

bool sharedRuntimes(Candidate& candidate)
{
    std::string sharingKey = configStringDup(keys::kSharedJvmKey);
    logInfo(L"Sharing key: %S", sharingKey.c_str());
    if (sharingKey.empty()) return false;
    return bestRuntimeOfBothRoots(kSharedRuntimesRoot + sharingKey, true, true, candidate);
}

// JavaHome is read wide: a home the code page cannot show continues as its short form.
bool runtimeFromJavaHome(HKEY key, const char* keyPath, const std::string& version, Candidate& candidate)
{
    std::wstring home;
    if (readRegistryStringWide(key, narrowToWide(version).c_str(), L"JavaHome", kPathCapacity, home) != ERROR_SUCCESS)
        return false;
    setSource(std::string("Y HKLM\\") + keyPath + "\\" + version);
    Candidate tried;
    std::string narrowHome;
    if (!narrowUsable(home, narrowHome)) return false;
    if (!locateCandidate(narrowHome, tried.javaExe)) return false;
    if (!checkCandidate(tried.javaExe, false, true, true, tried.version)) return false;
    candidate = tried;
    return true;
}

// The "CurrentVersion" of a JavaSoft key when it passes the bounds in prefix mode, else empty.
std::string currentVersionInRange(const char* keyPath)
{
    std::string version;
    if (readRegistryString(HKEY_LOCAL_MACHINE, keyPath, "CurrentVersion", kCurrentVersionCapacity, version)
        != ERROR_SUCCESS)
        return {};
    const VersionBounds& limits = versionBounds();
    return inRange(version, limits.minimum, limits.maximum, true) ? version : std::string();
}

bool byCurrentVersion(const char* jdkKey, const char* jreKey, Candidate& candidate)
{
    std::string jdkVersion = currentVersionInRange(jdkKey);
    std::string jreVersion = configFlag(keys::kRequireJdk) ? std::string() : currentVersionInRange(jreKey);
    bool takeJdk = isNewer(jdkVersion, jreVersion);
    const std::string& version = takeJdk ? jdkVersion : jreVersion;
    if (version.empty()) return false;
    unique_hkey key = openKey(HKEY_LOCAL_MACHINE, takeJdk ? jdkKey : jreKey, KEY_READ);
    if (!key) return false;
    return runtimeFromJavaHome(key.get(), takeJdk ? jdkKey : jreKey, version, candidate);
}

bool byEnumeration(const char* keyPath, Candidate& candidate)
{
    unique_hkey key = openKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
    if (!key) return false;
    const VersionBounds& limits = versionBounds();
    for (const std::string& version : registryVersionsToTry(shortSubkeyNames(key.get()), limits.minimum, limits.maximum)) {
        if (runtimeFromJavaHome(key.get(), keyPath, version, candidate)) return true;
    }
    return false;
}

bool javaSoftRegistry(Candidate& candidate)
{
    const char kJre[] = "SOFTWARE\\JavaSoft\\JRE";
    const char kJdk[] = "SOFTWARE\\JavaSoft\\JDK";
    const char kOldJre[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
    const char kOldJdk[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
    bool jdkOnly = configFlag(keys::kRequireJdk);
    return byCurrentVersion(kJdk, kJre, candidate) || (!jdkOnly && byEnumeration(kJre, candidate))
        || byEnumeration(kJdk, candidate) || byCurrentVersion(kOldJdk, kOldJre, candidate)
        || (!jdkOnly && byEnumeration(kOldJre, candidate)) || byEnumeration(kOldJdk, candidate);
}

bool registryRuntimes(Candidate& candidate)
{
    int located165 = configInt(keys::kLocatedRuntimes165);
    Candidate javaSoft;
    bool haveJavaSoft = located165 == 0 && javaSoftRegistry(javaSoft);
    if (haveJavaSoft) logInfo(L"found sun %S %S", javaSoft.javaExe.c_str(), javaSoft.version.c_str());
    Candidate located;
    bool haveLocated =
        bestRuntimeOfBothRoots(kLocatedRuntimesRoot, located165 == 0, configFlag(keys::kLocatedRuntimes168), located);
    if (haveLocated) logInfo(L"found located %S %S", located.javaExe.c_str(), located.version.c_str());
    if (haveJavaSoft && (!haveLocated || isNewer(javaSoft.version, located.version))) {
        candidate = javaSoft;
        return true;
    }
    if (haveLocated) candidate = located;
    return haveLocated;
}

// --- Loading -------------------------------------------------------------------------------

// PATH in both copies of the environment: the system's and the C runtime's own.
void setPath(const std::string& value, bool logOldLength, size_t oldLength)
{
    if (::SetEnvironmentVariableA("PATH", value.c_str())) {
        if (logOldLength)
            logInfo(L"Setting PATH %d %S", static_cast<int>(oldLength), value.c_str());
        else
            logInfo(L"Setting PATH %S", value.c_str());
    } else {
        logInfo(L"Setting PATH %S failed with error %d", value.c_str(), static_cast<int>(::GetLastError()));
    }
    std::string assignment = "PATH=" + value;
    ::_putenv(assignment.c_str());
}

std::string currentPath()
{
    DWORD size = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    DWORD length = ::GetEnvironmentVariableA("PATH", value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

bool olderThanWindows10()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&version)) return false;
#pragma GCC diagnostic pop
    return version.dwMajorVersion < 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion < 4);
}

// Runtimes built on the universal C runtime carry ucrtbase.dll beside jvm.dll; older systems do
// not have it, and jvm.dll's own search would not find it in the bin directory.
void preloadUniversalRuntime(const std::string& binDirectory)
{
    std::string ucrt = binDirectory + "\\ucrtbase.dll";
    if (!olderThanWindows10() || !fileExists(ucrt)) return;
    logInfo(L"Preloading ucrtbase.dll 4");
    char previous[MAX_PATH + 1] = "";
    DWORD previousLength = ::GetCurrentDirectoryA(sizeof previous, previous);
    ::SetCurrentDirectoryA(binDirectory.c_str());
    if (::LoadLibraryA("ucrtbase.dll") == nullptr && ::LoadLibraryA(ucrt.c_str()) == nullptr)
        logInfo(L"Could not preload ucrtbase.dll");
    if (previousLength > 0 && previousLength <= MAX_PATH) ::SetCurrentDirectoryA(previous);
}

uint16_t ownMachine()
{
#ifdef _WIN64
    return IMAGE_FILE_MACHINE_AMD64;
#else
    return IMAGE_FILE_MACHINE_I386;
#endif
}

// Whether a jvm.dll that did not load is a PE image built for another CPU.
bool builtForOtherMachine(const std::string& dll)
{
    unique_file file(::CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<uint8_t> head(4096);
    DWORD read = 0;
    if (!::ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) return false;
    head.resize(read);
    uint16_t machine = peMachine(head);
    return machine != 0 && machine != ownMachine();
}

HMODULE tryJvmDll(const std::string& javaExe)
{
    std::string binDirectory = javaBinDirectory(javaExe);
    void* cookie = addDllDirectory(binDirectory);
    preloadUniversalRuntime(binDirectory);
    std::string oldPath = currentPath();
    setPath(binDirectory + ";" + oldPath, true, oldPath.size());

    for (const std::string& name : vmSubdirectories(configStringDup(keys::kJvmSubdirectory).substr(0, 200))) {
        std::string dll = binDirectory + "\\" + name + "\\jvm.dll";
        bool exists = fileExists(dll);
        logInfo(L"Trying %S (exists %d)", dll.c_str(), exists ? 1 : 0);
        const HeldFile held = holdExtractedFile(narrowToWide(dll));
        if (held.refused) {
            logError(L"refusing %S: a link inside the extraction directory", dll.c_str());
            continue;
        }
        HMODULE module = ::LoadLibraryA(dll.c_str());
        if (module != nullptr) {
            state().lastBinDirectory = binDirectory;
            return module;
        }
        DWORD error = ::GetLastError();
        if (exists) {
            logInfo(L"Failed with error code %d", static_cast<int>(error));
            state().loadFailure = LoadFailure{true, builtForOtherMachine(dll), error};
        }
    }
    removeDllDirectory(cookie);
    setPath(oldPath, false, 0);
    return nullptr;
}

// Accepts a candidate into the result and tries its jvm.dll; true when it loaded.
bool load(const Candidate& candidate, int kind, const std::string& location, SearchResult& result)
{
    result.foundKind = kind;
    result.foundLocation = location;
    HMODULE module = loadJvmDll(candidate.javaExe);
    if (module == nullptr) {
        const LoadFailure& failure = state().loadFailure;
        Refusal reason = !failure.anyExists      ? Refusal::NoJvmDll
                         : failure.otherBitness ? Refusal::OtherBitness
                                                : Refusal::LoadFailed;
        note(candidate.javaExe, reason, candidate.version, failure.error);
        return false;
    }
    result.module = module;
    result.javaExe = candidate.javaExe;
    result.version = candidate.version;
    return true;
}

bool testLocationCandidate(const std::string& directory, bool betaAllowed, bool trusted, Candidate& candidate)
{
    return testLocation(directory, betaAllowed, trusted, candidate.javaExe, candidate.version);
}

// The registry step of the search list: each source yields its best runtime; one whose jvm.dll
// does not load is marked, so the next round yields the next best, until the list is full.
bool registryStep(SearchResult& result)
{
    bool (*const sources[])(Candidate&) = {sharedRuntimes, registryRuntimes};
    for (auto source : sources) {
        Candidate candidate;
        while (source(candidate)) {
            if (load(candidate, kFoundInRegistry, std::string(), result)) return true;
            if (!markNonWorking(candidate.javaExe)) break;
            candidate = Candidate();
        }
    }
    return false;
}

// The installation directories today's runtime installers record, with the key each came from:
// HKLM then HKCU, each in the 64-bit and the 32-bit view, every layout in order.
std::vector<std::pair<std::string, std::wstring>> vendorInstallations()
{
    std::vector<std::pair<std::string, std::wstring>> found;
    const std::pair<HKEY, const char*> roots[] = {{HKEY_LOCAL_MACHINE, "HKLM\\"}, {HKEY_CURRENT_USER, "HKCU\\"}};
    const std::pair<REGSAM, const char*> views[] = {{KEY_WOW64_64KEY, " (64-bit view)"},
                                                     {KEY_WOW64_32KEY, " (32-bit view)"}};
    auto add = [&found](const std::string& where, std::wstring home) {
        while (home.size() > 3 && home.back() == L'\\') home.pop_back();
        if (home.empty()) return;
        logInfo(L"Vendor runtime %S: %s", where.c_str(), home.c_str());
        found.emplace_back(where, home);
    };
    for (const auto& [root, rootName] : roots) {
        for (const auto& [view, viewName] : views) {
            for (const VendorLayout& layout : vendorLayouts()) {
                unique_hkey key = openKey(root, layout.key, KEY_READ, view);
                if (!key) continue;
                const std::wstring valueName = narrowToWide(layout.valueName);
                for (const std::wstring& name : subkeyNames(key.get())) {
                    std::string where = std::string(rootName) + layout.key + "\\" + utf8(name);
                    std::wstring home;
                    if (!layout.nested) {
                        if (readRegistryStringWide(key.get(), name.c_str(), valueName.c_str(), kPathCapacity, home)
                            == ERROR_SUCCESS)
                            add(where + viewName, home);
                        continue;
                    }
                    unique_hkey versionKey = openKey(key.get(), name.c_str(), KEY_READ, view);
                    if (!versionKey) continue;
                    for (const std::wstring& vm : subkeyNames(versionKey.get())) {
                        std::wstring msi = vm + L"\\MSI";
                        if (readRegistryStringWide(versionKey.get(), msi.c_str(), valueName.c_str(), kPathCapacity,
                                                   home)
                            == ERROR_SUCCESS)
                            add(where + "\\" + utf8(msi) + viewName, home);
                    }
                }
            }
        }
    }
    return found;
}

// The V entry: every recorded installation is checked; the passing ones are tried highest
// version first, one whose jvm.dll does not load is marked, until the non-working list is full.
bool vendorStep(SearchResult& result)
{
    std::vector<Candidate> passing;
    std::vector<std::string> sources;
    std::set<std::string> seen;  // a runtime recorded in both views (HKCU is shared) is checked once
    for (const auto& [where, home] : vendorInstallations()) {
        state().source = "V " + where;
        std::string narrowHome;
        if (!narrowUsable(home, narrowHome)) continue;
        Candidate candidate;
        if (!locateCandidate(narrowHome, candidate.javaExe)) continue;
        if (!seen.insert(normaliseJavaPath(candidate.javaExe)).second) continue;
        if (!checkCandidate(candidate.javaExe, false, true, true, candidate.version)) continue;
        passing.push_back(candidate);
        sources.push_back(state().source);
    }
    std::vector<std::string> versions;
    for (const Candidate& candidate : passing) versions.push_back(candidate.version);
    for (size_t index : versionOrder(versions)) {
        state().source = sources[index];
        logInfo(L"found vendor runtime %S %S", passing[index].javaExe.c_str(), passing[index].version.c_str());
        if (load(passing[index], kFoundInRegistry, std::string(), result)) return true;
        if (!markNonWorking(passing[index].javaExe)) break;
    }
    return false;
}

bool searchListEntry(const SearchEntry& entry, SearchResult& result)
{
    std::wstring wide = expandVariables(narrowToWide(entry.argument), true);
    std::string argument = wideToNarrow(wide, CP_ACP);
    logInfo(L"Testing location %S (type %c)", argument.c_str(), entry.type);
    setSource(std::string(1, entry.type) + " " + argument);
    Candidate candidate;
    std::string usable;
    switch (entry.type) {
    case 'A':
    case 'B':
    case 'R':
        return usableDirectory(wide, argument, usable)
            && testLocationCandidate(usable, false, configFlag(keys::kSearchSetting134), candidate)
            && load(candidate, kFoundAtLocation, argument, result);
    case 'E':
        return environmentSource(argument.c_str(), candidate)
            && load(candidate, kFoundThroughVariable, argument, result);
    case 'S':
        return searchPathSource(candidate) && load(candidate, kFoundOnSearchPath, argument, result);
    case 'Y':
        return registryStep(result);
    case 'V':
        return vendorStep(result);
    default:
        logInfo(L"unknown search type %c", entry.type);
        return false;
    }
}

bool locationFileStep(const std::string& file, const wchar_t* hasLine, const wchar_t* using_, bool betaAllowed,
                      SearchResult& result)
{
    std::string location;
    if (!readLocationFile(file, location)) return false;
    logInfo(hasLine, location.c_str());
    setSource("location file " + file);
    // A line in UTF-8 that names a directory the code page cannot show continues as its short form.
    std::string usable = location;
    std::wstring wide;
    if (!directoryExists(location) && fromUtf8(location, wide) && wideToNarrow(wide, CP_UTF8) != wideToNarrow(wide, CP_ACP)
        && directoryExists(wide) && !narrowUsable(wide, usable))
        return false;
    Candidate candidate;
    if (!testLocationCandidate(usable, betaAllowed, false, candidate)) return false;
    logInfo(using_);
    return load(candidate, kFoundAtLocation, location, result);
}

// The account of a search that found nothing: into the log, and in a run without message boxes
// also onto the console (or standard error) after the message.
void reportSearch(bool toConsole)
{
    std::wstring block;
    for (const std::string& line : searchSummary(state().account)) {
        std::wstring wide = narrowToWide(line, CP_UTF8);
        logInfo(L"%s", wide.c_str());
        block += wide + L"\n";
    }
    if (!toConsole || guiErrors() || block.empty()) return;
    block.pop_back();  // the writer ends the text with its own line end
    writeToConsoleOrStandardError(block);
}

}  // namespace

bool locateJavaExe(const std::string& home, std::string& javaExe)
{
    javaExe = home + "\\jre\\bin\\java.exe";
    if (configFlag(keys::kRequireJdk)) return fileExists(home + "\\lib\\tools.jar");
    if (!fileExists(javaExe)) javaExe = home + "\\bin\\java.exe";
    return true;
}

bool testLocation(const std::string& directory, bool betaAllowed, bool trusted, std::string& javaExe,
                  std::string& version)
{
    std::string resolved = normaliseJavaPath(directory);
    unpackRuntimeJars(resolved);
    bool found = locateCandidate(resolved, javaExe);
    if (trusted && launcherState().languageRestart) return true;
    if (found && checkCandidate(javaExe, betaAllowed, !trusted, !trusted, version)) return true;
    return trusted;
}

SearchResult searchJvm()
{
    SearchResult result;
    state().account.clear();
    logInfo(L"Searching for a JVM");
    std::string list = configStringDup(keys::kJvmSearchSequence);
    setVersionBounds(configStringDup(keys::kMinJavaVersion), configStringDup(keys::kMaxJavaVersion));
    logInfo(L"MinVersion: %S, MaxVersion: %S", versionBounds().minimumText.c_str(),
            versionBounds().maximumText.c_str());
    std::string appDirectory = applicationDirectory();

    if (locationFileStep(appDirectory + "\\.stowline\\pref_jre.cfg", L"Has preferred location %S",
                         L"Using preferred location", true, result))
        return result;
    std::string temporary = temporaryDirectoryName();
    if (!temporary.empty()
        && locationFileStep(temporary + "\\inst_jre.cfg", L"Has installer location %S", L"Using preferred location",
                            false, result))
        return result;

    std::vector<SearchEntry> entries = parseSearchList(list);
    for (const SearchEntry& entry : entries) {
        if (searchListEntry(entry, result)) return result;
    }

    if (locationFileStep(appDirectory + "\\.stowline\\inst_jre.cfg", L"Has installer location %S",
                         L"Using installer location", false, result))
        return result;

    for (const SearchEntry& entry : entries) {
        if (!retriedInFallbackPass(entry)) continue;
        std::wstring wide = expandVariables(narrowToWide(entry.argument), true);
        std::string argument = wideToNarrow(wide, CP_ACP);
        logInfo(L"Testing relative location %S", argument.c_str());
        setSource("fallback " + std::string(1, entry.type) + " " + argument);
        std::string usable;
        if (!usableDirectory(wide, argument, usable)) continue;
        Candidate candidate;
        testLocationCandidate(usable, true, true, candidate);
        if (!fileExists(candidate.javaExe)) continue;
        logInfo(L"%S exists", candidate.javaExe.c_str());
        if (load(candidate, kFoundAtLocation, argument, result)) return result;
    }

    Candidate previous;
    if (previousInstallation(HKEY_CURRENT_USER, previous)) {
        logInfo(L"found JRE from previous installation (user) %S", previous.javaExe.c_str());
        if (load(previous, kFoundInRegistry, std::string(), result)) return result;
    }
    previous = Candidate();
    if (previousInstallation(HKEY_LOCAL_MACHINE, previous)) {
        logInfo(L"found JRE from previous installation (machine) %S", previous.javaExe.c_str());
        if (load(previous, kFoundInRegistry, std::string(), result)) return result;
    }
    logInfo(L"Search sequence finished");

    for (const char* variable : {"TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME"}) {
        setSource(std::string("variable ") + variable);
        Candidate candidate;
        if (environmentSource(variable, candidate) && load(candidate, kFoundThroughVariable, variable, result))
            return result;
    }
    return result;
}

HMODULE loadJvmDll(const std::string& javaExe)
{
    logInfo(L"Trying to load JVM-DLL from %S", javaExe.c_str());
    state().loadFailure = LoadFailure();
    HMODULE module = tryJvmDll(javaExe);
    if (module != nullptr) return module;
    return tryJvmDll(nestedJreJavaExe(javaExe));
}

void recordJvm(const std::string& javaExe, const std::string& version)
{
    LoadedJvm& loaded = state().loaded;
    loaded.javaExe = javaExe;
    loaded.home = javaHomeOf(javaExe);
    loaded.version = version;
    setJvmHome(narrowToWide(loaded.home));
}

const LoadedJvm& loadedJvm() { return state().loaded; }

bool LoadDLL(bool showErrors, const char* location, bool isJavaExe)
{
    logInfo(L"LoadDLL (%d, %S, %d)", showErrors ? 1 : 0, location ? location : "(null)", isJavaExe ? 1 : 0);
    SearchResult result;
    if (location != nullptr) {
        logInfo(L"Got JRE location %S (java exe: %d)", location, isJavaExe ? 1 : 0);
        setVersionBounds(configStringDup(keys::kMinJavaVersion), configStringDup(keys::kMaxJavaVersion));
        logInfo(L"MinVersion: %S, MaxVersion: %S", versionBounds().minimumText.c_str(),
                versionBounds().maximumText.c_str());
        Candidate candidate;
        if (isJavaExe) {
            candidate.javaExe = location;
            if (!checkJavaExe(candidate.javaExe, true, false, true, candidate.version)) {
                logError(L"Provided JVM unusable");
                if (showErrors) showErrorMessage(messages::kNoJvmBitness, bitness());
                return false;
            }
        } else {
            testLocationCandidate(location, true, true, candidate);
        }
        load(candidate, kFoundAtLocation, location, result);
        result.javaExe = candidate.javaExe;
        result.version = candidate.version;
    } else {
        result = searchJvm();
        if (result.foundKind == kFoundNothing) {
            logError(L"No JVM found");
            if (showErrors) showErrorMessage(messages::kNoJvmBitness, bitness());
            reportSearch(showErrors);
            return false;
        }
    }

    // A module that lacks the entry point is of no use: let it go so a later call starts clean.
    unique_module module(result.module);
    JniCreateJavaVMFn createJavaVM = nullptr;
    if (!module) {
        logError(L"Could not get DLL-Handle.");
    } else {
        createJavaVM = boundFunction<JniCreateJavaVMFn>(module.get(), "JNI_CreateJavaVM");
        if (createJavaVM == nullptr) logError(L"Could not load functions");
    }
    if (createJavaVM != nullptr) {
        recordJvm(result.javaExe, result.version);
        LoadedJvm& loaded = state().loaded;
        loaded.module = module.release();
        loaded.createJavaVM = createJavaVM;
        loaded.binDirectory = state().lastBinDirectory;
        logInfo(L"Loading of JVM-DLL successful");
        return true;
    }
    if (showErrors) {
        std::wstring where = narrowToWide(result.foundLocation);
        bool x64 = sizeof(void*) == 8;
        switch (result.foundKind) {
        case kFoundOnSearchPath:
            showErrorMessage(messages::kNoJvmBitness, bitness());
            break;
        case kFoundAtLocation:
            showErrorMessage(x64 ? messages::kJvmDamaged64 : messages::kJvmDamaged32, where.c_str());
            break;
        case kFoundThroughVariable:
            showErrorMessage(x64 ? messages::kVariableNotWorkingJvm64 : messages::kVariableNotWorkingJvm32,
                             where.c_str());
            break;
        default:
            showErrorMessage(messages::kJvmNotStarted, nullptr);
            break;
        }
    }
    if (location == nullptr) reportSearch(showErrors);
    return false;
}
