#include "windows/jvm_sources.h"

#include <set>
#include <utility>
#include <vector>

#include "core/config_keys.h"
#include "windows/base/registry.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/jvm_loading.h"
#include "windows/native_log.h"

namespace {

constexpr DWORD kPathCapacity = 6000;
constexpr DWORD kCurrentVersionCapacity = 100;

const char kSharedRuntimesRoot[] = "SOFTWARE\\fenmoor\\stowline\\sharedjvms\\";
const char kInstallationsKey[] = "SOFTWARE\\fenmoor\\stowline\\installations";

// Which runtime paths below a shared or located runtimes key are admitted ("stw_jres" marks).
struct Admission {
    bool unmarked = true;
    bool marked = true;
};

// Names longer than 255 characters are passed over: no runtime key is named so.
std::vector<std::string> namesUpTo255(std::vector<std::string> names)
{
    std::vector<std::string> kept;
    for (std::string& name : names) {
        if (name.size() <= 255) kept.push_back(std::move(name));
    }
    return kept;
}

std::wstring slashesToBackslashes(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'/') c = L'\\';
    }
    return text;
}

bool installationsFromKey(HKEY installations, const std::string& applicationId, Candidate& candidate)
{
    std::wstring list;
    LONG result =
        readStringCapped(installations, nullptr, narrowToWide(applicationId).c_str(), kPathCapacity, list);
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
        if (checkCandidate(tried, kReleaseThroughCache)) {
            candidate = tried;
            return true;
        }
        logInfo(L"java version did not match in %S", directory.c_str());
    }
    return false;
}

// The best runtime below subkeyPath of one root: every admitted subkey names a java.exe (with "/"
// for "\"); the highest passing version wins, the first of equal ones stays.
bool bestRuntimeUnder(HKEY root, const std::string& subkeyPath, Admission admission, Candidate& best)
{
    unique_hkey key = openKey(root, subkeyPath.c_str(), KEY_READ);
    if (!key) return false;
    setSource(std::string("Y ") + (root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + subkeyPath);
    std::vector<Candidate> passing;
    for (const std::wstring& name : subkeyNames(key.get())) {
        if (name.size() > 255) continue;
        Candidate candidate;
        if (!narrowUsable(slashesToBackslashes(name), candidate.javaExe)) continue;
        if (!runtimePathAdmitted(candidate.javaExe, admission.unmarked, admission.marked)) continue;
        if (checkCandidate(candidate, kAnyBuildThroughCache)) passing.push_back(candidate);
    }
    std::vector<std::string> versions;
    for (const Candidate& candidate : passing) versions.push_back(candidate.version);
    size_t index = highestVersionIndex(versions);
    if (index == versions.size()) return false;
    best = passing[index];
    return true;
}

// HKCU and HKLM each give their best; the user's wins only with a strictly higher version.
bool bestRuntimeOfBothRoots(const std::string& subkeyPath, Admission admission, Candidate& best)
{
    Candidate user;
    Candidate machine;
    bool haveUser = bestRuntimeUnder(HKEY_CURRENT_USER, subkeyPath, admission, user);
    bool haveMachine = bestRuntimeUnder(HKEY_LOCAL_MACHINE, subkeyPath, admission, machine);
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
    return bestRuntimeOfBothRoots(kSharedRuntimesRoot + sharingKey, {true, true}, candidate);
}

// JavaHome is read wide: a home the code page cannot show continues as its short form.
bool runtimeFromJavaHome(HKEY key, const char* keyPath, const std::string& version, Candidate& candidate)
{
    std::wstring home;
    if (readStringCapped(key, narrowToWide(version).c_str(), L"JavaHome", kPathCapacity, home) != ERROR_SUCCESS)
        return false;
    setSource(std::string("Y HKLM\\") + keyPath + "\\" + version);
    Candidate tried;
    std::string narrowHome;
    if (!narrowUsable(home, narrowHome)) return false;
    if (!locateCandidate(narrowHome, tried.javaExe)) return false;
    if (!checkCandidate(tried, kReleaseThroughCache)) return false;
    candidate = tried;
    return true;
}

// The "CurrentVersion" of a JavaSoft key when it passes the bounds in prefix mode, else empty.
std::string currentVersionInRange(const char* keyPath)
{
    std::string version;
    if (readStringCapped(HKEY_LOCAL_MACHINE, keyPath, "CurrentVersion", kCurrentVersionCapacity, version)
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
    for (const std::string& version : registryVersionsToTry(namesUpTo255(subkeyNamesNarrow(key.get())), limits.minimum, limits.maximum)) {
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
    bool markedOnly = configInt(keys::kMarkedRuntimesOnly) != 0;
    Candidate javaSoft;
    bool haveJavaSoft = !markedOnly && javaSoftRegistry(javaSoft);
    if (haveJavaSoft) logInfo(L"found sun %S %S", javaSoft.javaExe.c_str(), javaSoft.version.c_str());
    Candidate located;
    bool haveLocated = bestRuntimeOfBothRoots(
        kLocatedRuntimesKey, {!markedOnly, configFlag(keys::kAdmitMarkedRuntimes)}, located);
    if (haveLocated) logInfo(L"found located %S %S", located.javaExe.c_str(), located.version.c_str());
    if (haveJavaSoft && (!haveLocated || isNewer(javaSoft.version, located.version))) {
        candidate = javaSoft;
        return true;
    }
    if (haveLocated) candidate = located;
    return haveLocated;
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
                        if (readStringCapped(key.get(), name.c_str(), valueName.c_str(), kPathCapacity, home)
                            == ERROR_SUCCESS)
                            add(where + viewName, home);
                        continue;
                    }
                    unique_hkey versionKey = openKey(key.get(), name.c_str(), KEY_READ, view);
                    if (!versionKey) continue;
                    for (const std::wstring& vm : subkeyNames(versionKey.get())) {
                        std::wstring msi = vm + L"\\MSI";
                        if (readStringCapped(versionKey.get(), msi.c_str(), valueName.c_str(), kPathCapacity,
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

}  // namespace

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
    return checkCandidate(candidate, kReleaseThroughCache);
}

bool searchPathSource(Candidate& candidate)
{
    std::wstring found(kPathCapacity, L'\0');
    DWORD length = ::SearchPathW(nullptr, L"java.exe", nullptr, static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0 || length >= found.size()) return false;
    found.resize(length);
    if (!narrowUsable(found, candidate.javaExe)) return false;
    return checkCandidate(candidate, kReleaseThroughCache);
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

// The V entry: every recorded installation is checked; the passing ones are tried highest
// version first, one whose jvm.dll does not load is marked, until the non-working list is full.
bool vendorStep(SearchResult& result)
{
    std::vector<Candidate> passing;
    std::vector<std::string> sources;
    std::set<std::string> seen;  // a runtime recorded in both views (HKCU is shared) is checked once
    for (const auto& [where, home] : vendorInstallations()) {
        searchSource() = "V " + where;
        std::string narrowHome;
        if (!narrowUsable(home, narrowHome)) continue;
        Candidate candidate;
        if (!locateCandidate(narrowHome, candidate.javaExe)) continue;
        if (!seen.insert(normaliseJavaPath(candidate.javaExe)).second) continue;
        if (!checkCandidate(candidate, kReleaseThroughCache)) continue;
        passing.push_back(candidate);
        sources.push_back(searchSource());
    }
    std::vector<std::string> versions;
    for (const Candidate& candidate : passing) versions.push_back(candidate.version);
    for (size_t index : versionOrder(versions)) {
        searchSource() = sources[index];
        logInfo(L"found vendor runtime %S %S", passing[index].javaExe.c_str(), passing[index].version.c_str());
        if (load(passing[index], kFoundInRegistry, std::string(), result)) return true;
        if (!markNonWorking(passing[index].javaExe)) break;
    }
    return false;
}
