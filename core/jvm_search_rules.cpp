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
