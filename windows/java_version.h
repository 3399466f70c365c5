// The version of a java.exe: from the per-user registry cache or by running it with "-version",
// and the per-candidate check of the runtime search. Paths are narrow (ANSI code page): the
// runtime search works on narrow paths throughout.
#pragma once

#include <windows.h>

#include <string>

#include "core/java_version.h"
#include "core/jvm_search_rules.h"

// The bounds of the current search (config keys 126 and 127), parsed once per search.
struct VersionBounds {
    std::string minimumText;
    std::string maximumText;
    VersionList minimum;
    VersionList maximum;
};
// Parses and keeps the bounds for the checks that follow.
void setVersionBounds(const std::string& minimum, const std::string& maximum);
const VersionBounds& versionBounds();

// How long a probe waits for the child's output and then for its end, in milliseconds.
constexpr DWORD kProbeTimeoutMs = 60000;

// A path made absolute against the launcher's directory, full, lower case, with runs of
// backslashes after the first character collapsed (the form used as cache key and for comparisons).
std::string normaliseJavaPath(const std::string& path);

// The cached version of the normalised path when its "LastWriteTime" is exactly the 8 bytes of
// lastWrite; false (version untouched) when absent, mismatched, or "1.7.", "1.6.", "1.5." or empty.
bool readCachedVersion(const std::string& path, const FILETIME& lastWrite, std::string& version);
// Creates or updates the cache entry of the normalised path; failures are ignored.
void writeCachedVersion(const std::string& path, const FILETIME& lastWrite, const std::string& version);

// Runs path with "-version" (the option variables cleared meanwhile) and reads its standard error;
// true with the last marked version when it exits with 0. A non-zero exit caches "1.0.0"; a child
// still running after timeoutMs of output and timeoutMs of waiting is terminated and yields nothing.
bool probeVersion(const std::string& path, const FILETIME& lastWrite, std::string& version,
                  DWORD timeoutMs = kProbeTimeoutMs);

// Adds a java.exe whose jvm.dll did not load; false once the list holds 50 entries.
bool markNonWorking(const std::string& javaExe);
// Whether the normalised java.exe path is on the non-working list (exact comparison).
bool isNonWorking(const std::string& javaExe);

// How checkJavaExe judges a java.exe.
struct CheckRules {
    bool betaAllowed = false;  // an early-access build passes the bounds
    bool useCache = true;      // the cached version of an unchanged java.exe stands in for a probe
    bool writeCache = true;    // a probed version goes into the cache
};
// A candidate of the search: release builds only, through the cache.
inline constexpr CheckRules kReleaseThroughCache{false, true, true};
// A registry runtime of the search: early-access builds too, through the cache.
inline constexpr CheckRules kAnyBuildThroughCache{true, true, true};
// A java.exe the user named: always probed, early-access builds too.
inline constexpr CheckRules kAnyBuildProbed{true, false, true};

// Whether the java.exe at path (normalised in place; under config key 107 = 1 turned into its
// javaw.exe) exists, has a version within the bounds (beta rule included) and is not on the
// non-working list. version receives the version found, also when it is refused.
bool checkJavaExe(std::string& path, CheckRules rules, std::string& version);

// What the last checkJavaExe decided: why it refused its candidate (Refusal::None when it passed)
// and the version it found, for the account of a search that ends without a runtime.
struct CheckOutcome {
    Refusal reason = Refusal::None;
    std::string version;
};
const CheckOutcome& lastCheckOutcome();
