#include "core/java_version.h"

#include <cstddef>
#include <limits>

const std::array<const char*, 3> kProbeClearedVariables = {"_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS",
                                                           "JDK_JAVA_OPTIONS"};
const char kVersionCacheRoot[] = "SOFTWARE\\fenmoor\\tallow\\jvms\\";
const char kFailedProbeVersion[] = "1.0.0";

namespace {

bool isVersionSeparator(char c)
{
    return c == '.' || c == '_' || c == '-' || c == '+';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A field reads like the C library's decimal conversion: "ea" or "b12" give 0, "172abc" 172.
// Huge numbers saturate instead of wrapping, so an absurd field still compares as huge.
int32_t fieldValue(const std::string& text, size_t begin, size_t end)
{
    size_t i = begin;
    while (i < end && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

enum class BoundKind { Minimum, Maximum };

bool passesBound(const VersionList& candidate, const VersionList& bound, BoundKind kind, bool prefixMode)
{
    for (size_t i = 0; i < bound.size(); ++i) {
        int32_t value = 0;
        if (i < candidate.size())
            value = candidate[i];
        else if (prefixMode)
            return true;
        if (value == bound[i])
            continue;
        bool above = value > bound[i];
        return kind == BoundKind::Minimum ? above : !above;
    }
    return true;
}

}  // namespace

VersionList parseVersion(const std::string& text)
{
    VersionList fields;
    size_t i = 0;
    while (i < text.size()) {
        if (isVersionSeparator(text[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !isVersionSeparator(text[end]))
            ++end;
        fields.push_back(fieldValue(text, i, end));
        i = end;
    }
    return fields;
}

bool isNewer(const std::string& a, const std::string& b)
{
    VersionList left = parseVersion(a);
    VersionList right = parseVersion(b);
    for (size_t i = 0; i < left.size(); ++i) {
        if (i >= right.size())
            return true;
        if (left[i] != right[i])
            return left[i] > right[i];
    }
    return false;
}

bool inRange(const std::string& version, const VersionList& min, const VersionList& max, bool prefixMode)
{
    VersionList candidate = parseVersion(version);
    return passesBound(candidate, min, BoundKind::Minimum, prefixMode)
        && passesBound(candidate, max, BoundKind::Maximum, prefixMode);
}

bool isBetaVersion(const std::string& version)
{
    return version.find("beta") != std::string::npos || version.find("-ea") != std::string::npos
        || version.find("-rc") != std::string::npos;
}

VersionVerdict judgeVersion(const std::string& version, const VersionList& min, const VersionList& max,
                            bool betaAllowed)
{
    if (!betaAllowed && isBetaVersion(version))
        return VersionVerdict::BetaRefused;
    return inRange(version, min, max, false) ? VersionVerdict::Acceptable : VersionVerdict::OutOfRange;
}

bool versionAcceptable(const std::string& version, const VersionList& min, const VersionList& max,
                       bool betaAllowed)
{
    return judgeVersion(version, min, max, betaAllowed) == VersionVerdict::Acceptable;
}

std::vector<std::string> versionsInJavaOutput(const std::string& output)
{
    static const std::string kMarker = " version \"";
    std::vector<std::string> versions;
    size_t lineStart = 0;
    while (lineStart <= output.size()) {
        size_t lineEnd = output.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = output.size();
        std::string line = output.substr(lineStart, lineEnd - lineStart);
        size_t marker = line.find(kMarker);
        if (marker != std::string::npos) {
            size_t begin = marker + kMarker.size();
            size_t close = line.find('"', begin);
            if (close != std::string::npos) {
                versions.push_back(line.substr(begin, close - begin));
            } else {
                // Unclosed: the rest of the line but its last two characters, never less than nothing.
                size_t rest = line.size() - begin;
                versions.push_back(line.substr(begin, rest >= 2 ? rest - 2 : 0));
            }
        }
        lineStart = lineEnd + 1;
    }
    return versions;
}

bool versionFromJavaOutput(const std::string& output, std::string& version)
{
    std::vector<std::string> versions = versionsInJavaOutput(output);
    if (versions.empty())
        return false;
    version = versions.back();
    return true;
}

std::string versionProbeCommandLine(const std::string& javaExePath)
{
    return "\"" + javaExePath + "\" -version";
}

std::string windowedJavaPath(const std::string& javaExePath)
{
    size_t keep = javaExePath.size() >= 4 ? javaExePath.size() - 4 : 0;
    return javaExePath.substr(0, keep) + "w.exe";
}

std::string versionCacheKey(const std::string& normalisedPath)
{
    std::string key = kVersionCacheRoot;
    for (char c : normalisedPath)
        key.push_back(c == '\\' ? '/' : c);
    return key;
}

std::array<uint8_t, 8> cacheWriteTimeBytes(uint32_t lowDateTime, uint32_t highDateTime)
{
    std::array<uint8_t, 8> bytes{};
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(lowDateTime >> (8 * i));
        bytes[4 + i] = static_cast<uint8_t>(highDateTime >> (8 * i));
    }
    return bytes;
}

bool cacheWriteTimeMatches(const std::vector<uint8_t>& stored, const std::array<uint8_t, 8>& expected)
{
    if (stored.size() != expected.size())
        return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (stored[i] != expected[i])
            return false;
    }
    return true;
}

std::string cacheVersionText(const std::vector<uint8_t>& stored)
{
    std::string text;
    for (uint8_t byte : stored) {
        if (byte == 0)
            break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

bool cacheVersionIgnored(const std::string& version)
{
    return version == "1.7." || version == "1.6." || version == "1.5.";
}

std::vector<uint8_t> cacheVersionData(const std::string& version)
{
    return std::vector<uint8_t>(version.begin(), version.end());
}
