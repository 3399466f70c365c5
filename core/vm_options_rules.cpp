#include "core/vm_options_rules.h"

#include <algorithm>
#include <cstdlib>

#include "core/java_version.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

bool startsWith(const std::u16string& text, const std::u16string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The leading decimal number of text as atoi reads it (white space, sign, digits), saturating.
int32_t leadingNumber(const std::string& text)
{
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

std::vector<std::string> optionsFileLines(const std::string& content)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end + 1;
        // A line longer than the read buffer arrives in pieces, each handled as a line.
        for (size_t piece = start; piece < end; piece += kOptionsFileLineLimit) {
            std::string line = content.substr(piece, std::min(kOptionsFileLineLimit, end - piece));
            // Trimming blanks also drops the line end: "\r" and "\n" count as blanks.
            size_t first = 0;
            while (first < line.size() && isBlank(line[first])) ++first;
            size_t last = line.size();
            while (last > first && isBlank(line[last - 1])) --last;
            line = line.substr(first, last - first);
            if (line.empty() || line[0] == '#') continue;
            lines.push_back(line);
        }
        start = end;
    }
    return lines;
}

OptionLineKind classifyOptionLine(const std::u16string& line, std::u16string& value)
{
    static const struct {
        const char16_t* prefix;
        OptionLineKind kind;
    } kPrefixes[] = {
        {u"-include-options ", OptionLineKind::IncludeOptions},
        {u"-classpath ", OptionLineKind::ClassPath},
        {u"-classpath/p ", OptionLineKind::ClassPathPrepend},
        {u"-classpath/a ", OptionLineKind::ClassPathAppend},
    };
    for (const auto& entry : kPrefixes) {
        std::u16string prefix = entry.prefix;
        if (startsWith(line, prefix)) {
            value = line.substr(prefix.size());
            return entry.kind;
        }
    }
    return OptionLineKind::Option;
}

std::vector<std::u16string> joinIncludeOptions(const std::vector<std::u16string>& arguments)
{
    std::vector<std::u16string> joined;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"-include-options" && i + 1 < arguments.size()) {
            joined.push_back(arguments[i] + u" " + arguments[i + 1]);
            ++i;
        } else {
            joined.push_back(arguments[i]);
        }
    }
    return joined;
}

int32_t javaMajorVersion(const std::string& version)
{
    VersionList fields = parseVersion(version);
    if (fields.empty()) return -1;
    if (fields[0] == 1 && fields.size() > 1) return fields[1];
    return fields[0];
}

bool wildcardMatch(const std::string& pattern, const std::string& text)
{
    // Greedy scan with one back-track point: the last "*" seen and the text position it took.
    size_t p = 0, t = 0;
    size_t star = std::string::npos, starText = 0;
    while (t < text.size()) {
        // A "*" of the pattern is always a wildcard, also where the text holds a "*" itself.
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

VersionCondition evaluateVersionCondition(const std::string& condition, const std::string& version, int32_t major)
{
    VersionCondition result;
    if (!condition.empty() && condition[0] == '*') {
        result.kind = VersionCondition::Kind::Wildcard;
        result.matches = wildcardMatch(condition.substr(1), version);
        return result;
    }
    size_t dash = condition.find('-');
    if (dash == std::string::npos) return result;
    result.kind = VersionCondition::Kind::Range;
    result.min = leadingNumber(condition.substr(0, dash));
    result.max = leadingNumber(condition.substr(dash + 1));
    result.matches = result.min <= major && major <= result.max;
    return result;
}

std::vector<PathEntry> parsePathEntries(const std::string& list)
{
    std::vector<PathEntry> entries;
    for (const std::string& part : splitPathList(list)) {
        if (part.size() < 2) continue;
        PathEntry entry;
        entry.type = part[0];
        entry.required = part[1] == '1';
        entry.argument = part.substr(2);
        entries.push_back(entry);
    }
    return entries;
}

std::vector<std::string> splitPathList(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string environmentPathPart(const std::string& value)
{
    std::string part = value;
    if (!part.empty() && part.front() == '"') part.erase(0, 1);
    if (!part.empty() && part.back() == '"') part.pop_back();
    if (part.empty() || part.back() != ';') part += ';';
    return part;
}

void appendToClassPath(std::string& classPath, const std::string& appended)
{
    if (classPath.empty() || classPath.back() != ';') classPath += ';';
    classPath += appended;
}

std::string runtimeModuleName(bool installer) { return installer ? "com.stowline.runtime" : "com.tallow.runtime"; }

std::vector<std::string> modulePathOptions(const std::string& modulePath, const std::string& mainClass,
                                           bool fromModulePath, bool installer)
{
    std::vector<std::string> options;
    if (modulePath.empty()) return options;
    const std::string runtimeModule = runtimeModuleName(installer);
    options.push_back("--module-path=" + modulePath);
    std::string addModules = "--add-modules=";
    if (fromModulePath) {
        std::string module = mainClass;
        size_t slash = module.find('/');
        size_t lastDot = module.rfind('.');
        if (slash != std::string::npos && lastDot != std::string::npos && lastDot > slash) {
            // The main class's package is opened to the runtime, which loads the class reflectively.
            options.push_back("--add-opens=" + module.substr(0, lastDot) + "=" + runtimeModule);
            module.resize(slash);
        }
        addModules += module + ",";
    }
    options.push_back(addModules + runtimeModule);
    return options;
}

void joinModuleOptions(std::vector<std::string>& options)
{
    static const char* const kTakingValue[] = {"--upgrade-module-path", "--add-modules", "--limit-modules",
                                               "--add-exports", "--add-opens", "--add-reads", "--patch-module"};
    std::vector<std::string> joined;
    for (size_t i = 0; i < options.size(); ++i) {
        bool takesValue = std::any_of(std::begin(kTakingValue), std::end(kTakingValue),
                                      [&](const char* name) { return options[i] == name; });
        if (takesValue && i + 1 < options.size()) {
            joined.push_back(options[i] + "=" + options[i + 1]);
            ++i;
        } else {
            joined.push_back(options[i]);
        }
    }
    options = std::move(joined);
}

void removeEmptyOptions(std::vector<std::string>& options)
{
    options.erase(std::remove_if(options.begin(), options.end(), [](const std::string& o) { return o.empty(); }),
                  options.end());
}

std::vector<std::string> launcherPropertyOptions(const LauncherProperties& properties)
{
    std::vector<std::string> options;
    if (!properties.semaphoreName.empty()) options.push_back("-Dtallow.semaphoreName=" + properties.semaphoreName);
    if (properties.manualJre) options.push_back("-Dtallow.manualJre=true");
    if (properties.installer) options.push_back("-Dtallow.isStowline=true");
    options.push_back("-Dtallow.moduleName=" + properties.executablePath);
    options.push_back("-Dsun.java.command=" + properties.executablePath);
    options.push_back("-Dtallow.tempDir=" + properties.temporaryDirectory);
    options.push_back("-Dtallow.unextractedPosition=" + std::to_string(properties.unextractedPosition));
    std::string libraryPath = "-Djava.library.path=" + properties.path;
    if (libraryPath.size() > kLibraryPathOptionLimit) libraryPath.resize(kLibraryPathOptionLimit);
    options.push_back(libraryPath);
    if (!properties.manpathSet) options.push_back("-Dtallow.consoleCodepage=cp" + std::to_string(properties.consoleCodePage));
    return options;
}

const char16_t kLocaleSwitchPrefix[] = u"-Dsun.locale.formatasdefault=";

int lastLocaleSwitch(const std::vector<std::u16string>& arguments)
{
    int found = -1;
    for (size_t i = 1; i < arguments.size(); ++i)
        if (startsWith(arguments[i], kLocaleSwitchPrefix)) found = static_cast<int>(i);
    return found;
}

namespace {

// The value of one "-Xss" text; 0 when it does not parse.
uint64_t parseStackSize(const std::string& text)
{
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        uint64_t digit = static_cast<uint64_t>(text[digits] - '0');
        if (value > (UINT64_MAX - digit) / 10) return 0;  // overflow
        value = value * 10 + digit;
        ++digits;
    }
    if (digits == 0) return 0;
    std::string unit = text.substr(digits);
    if (unit.empty()) return value;
    if (unit.size() > 1) return 0;
    int shift = 0;
    switch (unit[0]) {
    case 'K': case 'k': shift = 10; break;
    case 'M': case 'm': shift = 20; break;
    case 'G': case 'g': shift = 30; break;
    case 'T': case 't': shift = 40; break;
    default: return 0;
    }
    if (value > (UINT64_MAX >> shift)) return 0;
    return value << shift;
}

}  // namespace

uint64_t stackSizeFromOptions(const std::vector<std::string>& options)
{
    uint64_t size = 0;
    for (const std::string& option : options) {
        if (!startsWith(option, "-Xss")) continue;
        uint64_t value = parseStackSize(option.substr(4));
        if (value > 0) size = value;
    }
    if (size > 0 && size < 65536) size = 65536;
    return size;
}

std::vector<std::u16string> mainArguments(const MainArgumentInputs& inputs)
{
    std::vector<std::u16string> result;
    result.push_back(inputs.launcherType == 1 ? u"true" : u"false");
    result.push_back(inputs.mainFromModulePath ? u"/" + inputs.mainClass : inputs.mainClass);
    result.push_back(inputs.errorFile);
    result.push_back(inputs.outputFile);
    result.push_back(inputs.appendRedirection ? u"true" : u"false");
    result.push_back(inputs.arguments.empty() ? std::u16string() : inputs.arguments[0]);
    result.insert(result.end(), inputs.configured.begin(), inputs.configured.end());
    for (size_t i = 1; i < inputs.arguments.size(); ++i) {
        const std::u16string& argument = inputs.arguments[i];
        if (inputs.javaOptionArguments && startsWith(argument, u"-J")) continue;
        if (startsWith(argument, kLocaleSwitchPrefix)) continue;
        result.push_back(argument);
    }
    return result;
}
