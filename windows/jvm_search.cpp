#include "windows/jvm_search.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/config_keys.h"
#include "core/jvm_search_rules.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
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

struct SearchState {
    LoadedJvm loaded;
    std::string lastBinDirectory;  // of the last tryJvmDll that loaded
};

SearchState& state()
{
    static SearchState* instance = new SearchState();
    return *instance;
}

const wchar_t* bitness() { return sizeof(void*) == 8 ? L"64" : L"32"; }

std::string slashesToBackslashes(std::string text)
{
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    return text;
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

bool environmentSource(const char* variable, Candidate& candidate)
{
    std::string value(kPathCapacity, '\0');
    DWORD length = ::GetEnvironmentVariableA(variable, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return false;
    value.resize(length);
    if (!locateJavaExe(slashesToBackslashes(value), candidate.javaExe)) return false;
    return checkJavaExe(candidate.javaExe, false, true, true, candidate.version);
}

bool searchPathSource(Candidate& candidate)
{
    std::string found(kPathCapacity, '\0');
    DWORD length = ::SearchPathA(nullptr, "java.exe", nullptr, static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0 || length >= found.size()) return false;
    found.resize(length);
    candidate.javaExe = found;
    return checkJavaExe(candidate.javaExe, false, true, true, candidate.version);
}

bool installationsFromKey(HKEY installations, const std::string& applicationId, Candidate& candidate)
{
    std::string list;
    LONG result = readRegistryString(installations, nullptr, applicationId.c_str(), kPathCapacity, list);
    if (result != ERROR_SUCCESS || list.empty()) {
        logInfo(L"could not query value node %d", static_cast<int>(result));
        return false;
    }
    logInfo(L"found installations: %S", list.c_str());
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end == start) break;
        std::string directory = list.substr(start, end - start);
        start = end + 1;
        Candidate tried;
        if (!locateJavaExe(directory + "\\jre", tried.javaExe)) {
            logInfo(L"did not find java in %S", directory.c_str());
            continue;
        }
        if (checkJavaExe(tried.javaExe, false, true, true, tried.version)) {
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
    std::vector<Candidate> passing;
    for (const std::string& name : shortSubkeyNames(key.get())) {
        Candidate candidate{slashesToBackslashes(name), {}};
        if (!runtimePathAdmitted(candidate.javaExe, admitUnmarked, admitMarked)) continue;
        if (checkJavaExe(candidate.javaExe, true, true, true, candidate.version)) passing.push_back(candidate);
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

bool runtimeFromJavaHome(HKEY key, const std::string& version, Candidate& candidate)
{
    std::string home;
    if (readRegistryString(key, version.c_str(), "JavaHome", kPathCapacity, home) != ERROR_SUCCESS) return false;
    Candidate tried;
    if (!locateJavaExe(home, tried.javaExe)) return false;
    if (!checkJavaExe(tried.javaExe, false, true, true, tried.version)) return false;
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
    return runtimeFromJavaHome(key.get(), version, candidate);
}

bool byEnumeration(const char* keyPath, Candidate& candidate)
{
    unique_hkey key = openKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
    if (!key) return false;
    const VersionBounds& limits = versionBounds();
    for (const std::string& version : registryVersionsToTry(shortSubkeyNames(key.get()), limits.minimum, limits.maximum)) {
        if (runtimeFromJavaHome(key.get(), version, candidate)) return true;
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
        HMODULE module = ::LoadLibraryA(dll.c_str());
        if (module != nullptr) {
            state().lastBinDirectory = binDirectory;
            return module;
        }
        if (exists) logInfo(L"Failed with error code %d", static_cast<int>(::GetLastError()));
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
    if (module == nullptr) return false;
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

bool searchListEntry(const SearchEntry& entry, SearchResult& result)
{
    std::string argument = expandVariablesNarrow(entry.argument);
    logInfo(L"Testing location %S (type %c)", argument.c_str(), entry.type);
    Candidate candidate;
    switch (entry.type) {
    case 'A':
    case 'B':
    case 'R':
        return testLocationCandidate(argument, false, configFlag(keys::kSearchSetting134), candidate)
            && load(candidate, kFoundAtLocation, argument, result);
    case 'E':
        return environmentSource(argument.c_str(), candidate)
            && load(candidate, kFoundThroughVariable, argument, result);
    case 'S':
        return searchPathSource(candidate) && load(candidate, kFoundOnSearchPath, argument, result);
    case 'Y':
        return registryStep(result);
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
    Candidate candidate;
    if (!testLocationCandidate(location, betaAllowed, false, candidate)) return false;
    logInfo(using_);
    return load(candidate, kFoundAtLocation, location, result);
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
    bool found = locateJavaExe(resolved, javaExe);
    if (trusted && launcherState().languageRestart) return true;
    if (found && checkJavaExe(javaExe, betaAllowed, !trusted, !trusted, version)) return true;
    return trusted;
}

SearchResult searchJvm()
{
    SearchResult result;
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
        std::string argument = expandVariablesNarrow(entry.argument);
        logInfo(L"Testing relative location %S", argument.c_str());
        Candidate candidate;
        testLocationCandidate(argument, true, true, candidate);
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
        Candidate candidate;
        if (environmentSource(variable, candidate) && load(candidate, kFoundThroughVariable, variable, result))
            return result;
    }
    return result;
}

HMODULE loadJvmDll(const std::string& javaExe)
{
    logInfo(L"Trying to load JVM-DLL from %S", javaExe.c_str());
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
    return false;
}
