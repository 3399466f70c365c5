// Java version texts: splitting into numbers, comparing, the configured bounds, the beta rule,
// reading "java -version" output and the formats of the per-executable version cache. Pure
// functions over narrow strings; running java.exe and the registry live on the Windows side.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The numbers of a version text, in order.
using VersionList = std::vector<int32_t>;

// Splits at ".", "_", "-" and "+" (no empty fields); each field reads as a decimal number up to
// its first non-digit (leading white space and a sign allowed, no digits gives 0, saturating at
// the 32-bit limits). An empty text gives an empty list.
VersionList parseVersion(const std::string& text);

// True exactly when a is strictly higher than b; a field that b lacks makes a higher; false when
// a is empty.
bool isNewer(const std::string& a, const std::string& b);

// The bound test against both lists (an empty list passes). Only the bound's positions are
// compared; where the candidate has run out it counts as 0, or with prefixMode passes at once.
bool inRange(const std::string& version, const VersionList& min, const VersionList& max, bool prefixMode);

// True when the text contains "beta", "-ea" or "-rc" (case-sensitive).
bool isBetaVersion(const std::string& version);

// Outcome of judging a runtime's version; BetaRefused is logged as "beta vm not allowed".
enum class VersionVerdict { Acceptable, BetaRefused, OutOfRange };

// The beta rule (skipped when betaAllowed, which the caller also sets for config key 130), then
// inRange without prefix mode.
VersionVerdict judgeVersion(const std::string& version, const VersionList& min, const VersionList& max,
                            bool betaAllowed);

// judgeVersion(...) == VersionVerdict::Acceptable.
bool versionAcceptable(const std::string& version, const VersionList& min, const VersionList& max,
                       bool betaAllowed);

// The version of every line of "java -version" output (split at "\n") that contains the marker
// space, version, space, double quote, in output order; the runtime's version is the last one.
// A line with no closing quote gives the rest of the line without its last two characters.
std::vector<std::string> versionsInJavaOutput(const std::string& output);

// The last entry of versionsInJavaOutput; false (version untouched) when no line matches.
bool versionFromJavaOutput(const std::string& output, std::string& version);

// The command line of a version probe: the executable (its short form when there is one) in
// double quotes, then " -version".
std::string versionProbeCommandLine(const std::string& javaExePath);

// The option variables cleared while a probe runs, in the order they are saved and removed.
extern const std::array<const char*, 3> kProbeClearedVariables;

// The javaw.exe beside a java.exe: the last four characters (".exe") become "w.exe".
std::string windowedJavaPath(const std::string& javaExePath);

// Version cache: HKCU key per executable, values "LastWriteTime" (REG_BINARY, the FILETIME as 8
// bytes) and "Version" (REG_SZ, possibly without its terminator).
extern const char kVersionCacheRoot[];  // "SOFTWARE\fenmoor\tallow\jvms\"

// The "Version" text that records a failed probe; a cache hit with it means probing again.
extern const char kFailedProbeVersion[];  // "1.0.0"

// The cache key of a normalised (full, lower-case) executable path: every "\" becomes "/".
std::string versionCacheKey(const std::string& normalisedPath);

// The 8 bytes stored as "LastWriteTime": the low then the high double word, little-endian.
std::array<uint8_t, 8> cacheWriteTimeBytes(uint32_t lowDateTime, uint32_t highDateTime);

// True when stored "LastWriteTime" data is exactly 8 bytes equal to expected.
bool cacheWriteTimeMatches(const std::vector<uint8_t>& stored, const std::array<uint8_t, 8>& expected);

// The text of stored "Version" data: up to its first NUL, or all of it when it has none.
std::string cacheVersionText(const std::vector<uint8_t>& stored);

// Stored versions that count as absent: "1.7.", "1.6." and "1.5." exactly.
bool cacheVersionIgnored(const std::string& version);

// The "Version" data to store: the text's bytes without a terminator.
std::vector<uint8_t> cacheVersionData(const std::string& version);
