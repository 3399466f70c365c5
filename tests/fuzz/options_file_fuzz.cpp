// libFuzzer target: the options-file grammar and the rules applied to its lines. Lines come out
// trimmed, non-empty, without comments and within the line limit; an include line names the
// text after its prefix; the version-group wildcard agrees with a plain reference matcher; the
// stack size is 0 or at least 64 KiB.
#include <algorithm>

#include "core/text.h"
#include "core/vm_options_rules.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// Reference: whole-text match by dynamic programming over (pattern, text) prefixes.
bool referenceMatch(const std::string& pattern, const std::string& text)
{
    // One flat table: a vector per row cost the run more than the parsers under the sanitizers.
    const size_t width = text.size() + 1;
    std::vector<char> match((pattern.size() + 1) * width, 0);
    auto at = [&](size_t p, size_t t) -> char& { return match[p * width + t]; };
    at(0, 0) = 1;
    for (size_t p = 1; p <= pattern.size(); ++p) {
        for (size_t t = 0; t <= text.size(); ++t) {
            if (pattern[p - 1] == '*') {
                at(p, t) = at(p - 1, t) || (t > 0 && at(p, t - 1));
            } else if (t > 0) {
                at(p, t) = at(p - 1, t - 1) && (pattern[p - 1] == '?' || pattern[p - 1] == text[t - 1]);
            }
        }
    }
    return at(pattern.size(), text.size()) != 0;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string content = fuzzText(data, size);
    std::vector<std::u16string> wideLines;
    std::vector<std::string> lines = optionsFileLines(content);
    for (const std::string& line : lines) {
        FUZZ_CHECK(!line.empty() && line[0] != '#' && line.size() <= kOptionsFileLineLimit);
        FUZZ_CHECK(!blank(line.front()) && !blank(line.back()));
        FUZZ_CHECK(line.find('\n') == std::string::npos);
        std::u16string wide = widenBytes(line);
        std::u16string value;
        OptionLineKind kind = classifyOptionLine(wide, value);
        if (kind == OptionLineKind::IncludeOptions) {
            FUZZ_CHECK(wide.size() > value.size() && wide.compare(wide.size() - value.size(), value.size(), value) == 0);
        }
        wideLines.push_back(wide);
    }
    FUZZ_CHECK(joinIncludeOptions(wideLines).size() <= wideLines.size());
    uint64_t stack = stackSizeFromOptions(lines);
    FUZZ_CHECK(stack == 0 || stack >= 65536);

    // Short pattern and text from the first two NUL-separated parts, for the reference matcher.
    const std::vector<std::string> parts = fuzzParts(data, std::min<size_t>(size, 200));
    const std::string text = parts.size() > 1 ? parts[1] : std::string();
    FUZZ_CHECK(wildcardMatch(parts[0], text) == referenceMatch(parts[0], text));
    VersionCondition condition = evaluateVersionCondition(parts[0], text, javaMajorVersion(text));
    if (condition.kind == VersionCondition::Kind::Range) {
        FUZZ_CHECK(condition.matches == (condition.min <= javaMajorVersion(text) && javaMajorVersion(text) <= condition.max));
    }
    return 0;
}
