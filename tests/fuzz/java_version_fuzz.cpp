// libFuzzer target: Java version texts and "-version" output. Newer is a strict order (never
// both ways, never a text newer than itself), the versions found in an output are parts of it,
// and the one chosen is the last found.
#include "core/java_version.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> parts = fuzzParts(data, size);
    const std::string& a = parts[0];
    const std::string b = parts.size() > 1 ? parts[1] : std::string();
    FUZZ_CHECK(!(isNewer(a, b) && isNewer(b, a)));
    FUZZ_CHECK(!isNewer(a, a));
    const VersionList min = parseVersion(b);
    const VersionList max = parseVersion(parts.size() > 2 ? parts[2] : std::string());
    FUZZ_CHECK(parseVersion(a).size() <= a.size());
    const VersionVerdict verdict = judgeVersion(a, min, max, false);
    FUZZ_CHECK(verdict != VersionVerdict::BetaRefused || isBetaVersion(a));
    FUZZ_CHECK(versionAcceptable(a, min, max, true) == inRange(a, min, max, false));

    const std::string output = fuzzText(data, size);
    const std::vector<std::string> versions = versionsInJavaOutput(output);
    for (const std::string& version : versions) FUZZ_CHECK(output.find(version) != std::string::npos);
    std::string chosen = "untouched";
    FUZZ_CHECK(versionFromJavaOutput(output, chosen) == !versions.empty());
    FUZZ_CHECK(versions.empty() ? chosen == "untouched" : chosen == versions.back());
    return 0;
}
