#include "windows/jvm_search.h"

#include <optional>
#include <vector>

#include "core/config_keys.h"
#include "core/jvm_search_rules.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/jvm_sources.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/process_environment.h"
#include "windows/runtime_archive.h"
#include "windows/temp_dirs.h"
#include "windows/variables.h"

namespace {

constexpr size_t kPathCapacity = 6000;

struct SearchState {
    LoadedJvm loaded;
};

SearchState& state()
{
    static SearchState* instance = new SearchState();
    return *instance;
}

const wchar_t* bitness() { return sizeof(void*) == 8 ? L"64" : L"32"; }

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

bool testLocationCandidate(const std::string& directory, LocationRules rules, Candidate& candidate)
{
    return testLocation(directory, rules, candidate.javaExe, candidate.version);
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
            && testLocationCandidate(usable, {false, configFlag(keys::kTrustSearchListDirectories)}, candidate)
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

bool locationFileStep(const std::string& file, const wchar_t* hasLine, const wchar_t* using_, LocationRules rules,
                      SearchResult& result)
{
    std::string location;
    if (!readLocationFile(file, location)) return false;
    logInfo(hasLine, location.c_str());
    setSource("location file " + file);
    // A line in UTF-8 that names a directory the code page cannot show continues as its short form.
    std::string usable = location;
    std::optional<std::wstring> wide = directoryExists(location) ? std::nullopt : strictUtf8ToWide(location);
    if (wide && wideToNarrow(*wide, CP_UTF8) != wideToNarrow(*wide, CP_ACP) && directoryExists(*wide)
        && !narrowUsable(*wide, usable))
        return false;
    Candidate candidate;
    if (!testLocationCandidate(usable, rules, candidate)) return false;
    logInfo(using_);
    return load(candidate, kFoundAtLocation, location, result);
}

// The account of a search that found nothing: into the log, and in a run without message boxes
// also onto the console (or standard error) after the message.
void reportSearch(bool toConsole)
{
    std::wstring block;
    for (const std::string& line : searchSummary(searchAccount())) {
        std::wstring wide = narrowToWide(line, CP_UTF8);
        logInfo(L"%s", wide.c_str());
        block += wide + L"\n";
    }
    if (!toConsole || guiErrors() || block.empty()) return;
    block.pop_back();  // the writer ends the text with its own line end
    writeToConsoleOrStandardError(block);
}

}  // namespace

bool testLocation(const std::string& directory, LocationRules rules, std::string& javaExe, std::string& version)
{
    std::string resolved = normaliseJavaPath(directory);
    unpackRuntimeJars(resolved);
    bool found = locateCandidate(resolved, javaExe);
    if (rules.trusted && launcherState().languageRestart) return true;
    Candidate candidate{javaExe, version};
    bool passed = found && checkCandidate(candidate, {rules.betaAllowed, !rules.trusted, !rules.trusted});
    javaExe = candidate.javaExe;
    version = candidate.version;
    return passed || rules.trusted;
}

SearchResult searchJvm()
{
    SearchResult result;
    clearSearchAccount();
    logInfo(L"Searching for a JVM");
    std::string list = configStringDup(keys::kJvmSearchSequence);
    setVersionBounds(configStringDup(keys::kMinJavaVersion), configStringDup(keys::kMaxJavaVersion));
    logInfo(L"MinVersion: %S, MaxVersion: %S", versionBounds().minimumText.c_str(),
            versionBounds().maximumText.c_str());
    std::string appDirectory = applicationDirectory();

    if (locationFileStep(appDirectory + "\\.stowline\\pref_jre.cfg", L"Has preferred location %S",
                         L"Using preferred location", {true, false}, result))
        return result;
    std::string temporary = temporaryDirectoryName();
    if (!temporary.empty()
        && locationFileStep(temporary + "\\inst_jre.cfg", L"Has installer location %S", L"Using preferred location",
                            {false, false}, result))
        return result;

    std::vector<SearchEntry> entries = parseSearchList(list);
    for (const SearchEntry& entry : entries) {
        if (searchListEntry(entry, result)) return result;
    }

    if (locationFileStep(appDirectory + "\\.stowline\\inst_jre.cfg", L"Has installer location %S",
                         L"Using installer location", {false, false}, result))
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
        testLocationCandidate(usable, {true, true}, candidate);
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
            if (!checkJavaExe(candidate.javaExe, kAnyBuildProbed, candidate.version)) {
                logError(L"Provided JVM unusable");
                if (showErrors) showErrorMessage(messages::kNoJvmBitness, bitness());
                return false;
            }
        } else {
            testLocationCandidate(location, {true, true}, candidate);
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
        loaded.binDirectory = lastBinDirectory();
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
