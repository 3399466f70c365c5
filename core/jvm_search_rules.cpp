#include "core/jvm_search_rules.h"

#include <algorithm>

std::vector<SearchEntry> parseSearchList(const std::string& list)
{
    std::vector<SearchEntry> entries;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end == start) break;
        SearchEntry entry;
        entry.type = list[start];
        entry.argument = list.substr(start + 1, end - start - 1);
        entries.push_back(entry);
        start = end + 1;
    }
    return entries;
}

bool isAbsoluteSearchPath(const std::string& path)
{
    if (path.size() < 2) return false;
    return path[1] == ':' || (path[0] == '\\' && path[1] == '\\');
}

bool retriedInFallbackPass(const SearchEntry& entry)
{
    if (entry.type == 'B') return true;
    return (entry.type == 'A' || entry.type == 'R') && !isAbsoluteSearchPath(entry.argument);
}

bool startsWithDriveOrUnc(const std::string& path)
{
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return true;
    size_t start = (!path.empty() && path[0] == '"') ? 1 : 0;
    if (path.size() < start + 3) return false;
    char drive = path[start];
    bool letter = (drive >= 'a' && drive <= 'z') || (drive >= 'A' && drive <= 'Z');
    return letter && path[start + 1] == ':' && path[start + 2] == '\\';
}

std::string collapseBackslashesAfterFirst(const std::string& path)
{
    std::string result;
    result.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (i > 1 && path[i] == '\\' && result.back() == '\\') continue;
        result.push_back(path[i]);
    }
    return result;
}

std::vector<std::string> registryVersionsToTry(std::vector<std::string> names, const VersionList& min,
                                               const VersionList& max)
{
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string& name) { return !inRange(name, min, max, true); }),
                names.end());
    // std::string orders by char_traits<char>, which compares as unsigned bytes.
    std::sort(names.begin(), names.end());
    std::reverse(names.begin(), names.end());
    return names;
}

std::vector<std::string> vmSubdirectories(const std::string& configured)
{
    std::vector<std::string> names;
    if (!configured.empty()) names.push_back(configured);
    for (const char* name : {"server", "client", "j9vm", "hotspot", "jrockit"}) names.emplace_back(name);
    return names;
}

std::string javaBinDirectory(const std::string& javaExe)
{
    size_t separator = javaExe.find_last_of('\\');
    return separator == std::string::npos ? std::string() : javaExe.substr(0, separator);
}

std::string javaHomeOf(const std::string& javaExe)
{
    size_t separator = javaExe.find_last_of('\\');
    return (separator == std::string::npos ? std::string() : javaExe.substr(0, separator + 1)) + "..";
}

std::string nestedJreJavaExe(const std::string& javaExe)
{
    size_t separator = javaExe.find_last_of('\\');
    return (separator == std::string::npos ? std::string() : javaExe.substr(0, separator + 1))
        + "..\\jre\\bin\\java.exe";
}

std::string firstLocationLine(const std::string& content, size_t maxLength)
{
    std::string line = content.substr(0, content.find('\n'));
    if (line.size() > maxLength) line.resize(maxLength);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
}

bool runtimePathAdmitted(const std::string& path, bool admitUnmarked, bool admitMarked)
{
    return path.find("stw_jres") != std::string::npos ? admitMarked : admitUnmarked;
}

size_t highestVersionIndex(const std::vector<std::string>& versions)
{
    size_t best = versions.size();
    for (size_t i = 0; i < versions.size(); ++i) {
        if (best == versions.size() || isNewer(versions[i], versions[best])) best = i;
    }
    return best;
}

const std::vector<VendorLayout>& vendorLayouts()
{
    // Installers built from the same MSI template record key\<version>\<vm>\MSI "Path"; others
    // write one key per installed product with its "InstallationPath"; the JavaSoft keys (which
    // some installers write instead of keys of their own) are read here in both views too.
    static const std::vector<VendorLayout> layouts = {
        {"SOFTWARE\\Eclipse Adoptium\\JDK", true, "Path"},
        {"SOFTWARE\\Eclipse Adoptium\\JRE", true, "Path"},
        {"SOFTWARE\\AdoptOpenJDK\\JDK", true, "Path"},
        {"SOFTWARE\\AdoptOpenJDK\\JRE", true, "Path"},
        {"SOFTWARE\\Microsoft\\JDK", true, "Path"},
        {"SOFTWARE\\Semeru\\JDK", true, "Path"},
        {"SOFTWARE\\Semeru\\JRE", true, "Path"},
        {"SOFTWARE\\Azul Systems\\Zulu", false, "InstallationPath"},
        {"SOFTWARE\\Azul Systems\\Zulu 32-bit", false, "InstallationPath"},
        {"SOFTWARE\\BellSoft\\Liberica", false, "InstallationPath"},
        {"SOFTWARE\\JavaSoft\\JDK", false, "JavaHome"},
        {"SOFTWARE\\JavaSoft\\JRE", false, "JavaHome"},
        {"SOFTWARE\\JavaSoft\\Java Development Kit", false, "JavaHome"},
        {"SOFTWARE\\JavaSoft\\Java Runtime Environment", false, "JavaHome"},
    };
    return layouts;
}

std::vector<size_t> versionOrder(const std::vector<std::string>& versions)
{
    std::vector<size_t> order(versions.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return isNewer(versions[a], versions[b]); });
    return order;
}

Refusal boundRefusal(const std::string& version, const VersionList& min, const VersionList& max)
{
    if (!inRange(version, min, {}, false)) return Refusal::BelowMinimum;
    if (!inRange(version, {}, max, false)) return Refusal::AboveMaximum;
    return Refusal::None;
}

void noteCandidate(std::vector<ConsideredCandidate>& account, const ConsideredCandidate& candidate)
{
    for (ConsideredCandidate& known : account) {
        if (known.source != candidate.source || known.path != candidate.path) continue;
        if (known.reason == Refusal::None) known = candidate;
        return;
    }
    account.push_back(candidate);
}

std::string refusalText(const ConsideredCandidate& candidate)
{
    const std::string version = candidate.version.empty() ? std::string("(none)") : candidate.version;
    switch (candidate.reason) {
    case Refusal::None: return "passed its check, not tried";
    case Refusal::Missing: return "missing";
    case Refusal::NoVersion: return "no version from running it";
    case Refusal::BelowMinimum: return "version " + version + " below the minimum " + candidate.bound;
    case Refusal::AboveMaximum: return "version " + version + " above the maximum " + candidate.bound;
    case Refusal::Beta: return "version " + version + " is a beta";
    case Refusal::NoWindowedExe: return "no javaw.exe beside it";
    case Refusal::NonWorking: return "on the non-working list";
    case Refusal::NoJvmDll: return "no jvm.dll in its VM directories";
    case Refusal::OtherBitness: return "jvm.dll built for the other bitness (64/32-bit mismatch)";
    case Refusal::LoadFailed: return "jvm.dll failed to load (Win32 error " + std::to_string(candidate.error) + ")";
    case Refusal::NoShortPath: return "the path cannot be shown in the ANSI code page and has no short form";
    }
    return "refused";
}

std::vector<std::string> searchSummary(const std::vector<ConsideredCandidate>& account)
{
    std::vector<std::string> lines;
    if (account.empty()) {
        lines.push_back("No runtime candidate was found.");
        return lines;
    }
    lines.push_back("Runtime candidates considered (" + std::to_string(account.size()) + "), none usable:");
    for (size_t i = 0; i < account.size(); ++i) {
        const ConsideredCandidate& candidate = account[i];
        lines.push_back("  " + std::to_string(i + 1) + ". " + candidate.source + ": " + candidate.path + " - "
                        + refusalText(candidate));
    }
    return lines;
}

