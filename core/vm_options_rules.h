// The portable rules behind the VM option list and the arguments of main: the options-file
// grammar, option-line prefixes, version-specific groups, class and module path entries, module
// option joining, the launcher properties and the "-Xss" stack size. Narrow text is in the ANSI
// code page the VM reads; wide text is UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- Options files ---------------------------------------------------------------------------

// Longest line an options file may hold; a longer one is read as several lines of this size.
constexpr size_t kOptionsFileLineLimit = 30000;

// The option lines of an options file's text: split at "\n", CR and LF stripped from the end,
// then leading and trailing white space; empty lines and lines starting with "#" are dropped.
std::vector<std::string> optionsFileLines(const std::string& content);

// What an option line does, by its case-sensitive prefix.
enum class OptionLineKind {
    IncludeOptions,    // "-include-options <path>": read another options file
    ClassPath,         // "-classpath <value>": replaces the configured class path
    ClassPathPrepend,  // "-classpath/p <value>"
    ClassPathAppend,   // "-classpath/a <value>"
    Option,            // anything else: appended to the option list unchanged
};

// The kind of line and, for all but Option, the text after the prefix in value.
OptionLineKind classifyOptionLine(const std::u16string& line, std::u16string& value);

// Joins an argument that is exactly "-include-options" (and not the last) with the next one by a
// space, so a configured "-include-options <path>" split like a command line stays one line.
std::vector<std::u16string> joinIncludeOptions(const std::vector<std::u16string>& arguments);

// The class path overrides gathered while option lines are handled; a later line of a kind
// replaces the earlier value.
struct ClassPathOverrides {
    bool hasReplacement = false;
    bool hasPrepend = false;
    bool hasAppend = false;
    std::string replacement;
    std::string prepend;
    std::string append;
};

// ---- Version-specific groups -----------------------------------------------------------------

// The major number of a runtime version: the first field, or the second when the first is 1 and
// a second exists (1.8.0_172 gives 8, 11.0.2 gives 11); -1 when the text has no fields.
int32_t javaMajorVersion(const std::string& version);

// Whole-text match where "*" matches any run of characters and "?" any one character.
bool wildcardMatch(const std::string& pattern, const std::string& text);

// How a group's condition was judged, for the log.
struct VersionCondition {
    enum class Kind { Wildcard, Range, MissingDash } kind = Kind::MissingDash;
    int32_t min = 0;
    int32_t max = 0;
    bool matches = false;
};

// Judges a condition: "*<pattern>" against the version text, "<min>-<max>" against the major
// number; a condition without "-" never matches.
VersionCondition evaluateVersionCondition(const std::string& condition, const std::string& version,
                                          int32_t major);

// ---- Class and module path entries ------------------------------------------------------------

// One entry of a class or module path list: a type letter, required or not, and the argument.
struct PathEntry {
    char type = 0;          // 'A', 'D', 'E', 'S' or anything else (ignored)
    bool required = false;  // requirement digit "1"
    std::string argument;   // not yet expanded
};

// The entries of a ";"-separated list; an entry shorter than two characters is skipped.
std::vector<PathEntry> parsePathEntries(const std::string& list);

// Splits text at ";" (empty parts dropped).
std::vector<std::string> splitPathList(const std::string& text);

// The value of an "E" entry's variable as appended: surrounding double quotes removed, then ";"
// added unless it already ends with one.
std::string environmentPathPart(const std::string& value);

// Adds ";" to classPath unless it already ends with one, then appended.
void appendToClassPath(std::string& classPath, const std::string& appended);

// ---- Module options --------------------------------------------------------------------------

// The runtime's module: "com.stowline.runtime" for installers, else "com.tallow.runtime".
std::string runtimeModuleName(bool installer);

// The options that follow a non-empty module path: "--module-path=", then (main class from the
// module path with "module/package.Class") "--add-opens=module/package=<runtime module>", then
// "--add-modules=" naming the main class's module (when fromModulePath) and the runtime module.
std::vector<std::string> modulePathOptions(const std::string& modulePath, const std::string& mainClass,
                                           bool fromModulePath, bool installer);

// Joins each "--add-opens", "--add-modules" (and the other module options taking a value) with
// the entry that follows into "option=value".
void joinModuleOptions(std::vector<std::string>& options);

// Drops empty entries, keeping the order of the rest.
void removeEmptyOptions(std::vector<std::string>& options);

// ---- Launcher properties ---------------------------------------------------------------------

// What the launcher tells Java about itself through "-D" options.
struct LauncherProperties {
    std::string semaphoreName;        // empty: no single-instance semaphore was created
    bool manualJre = false;
    bool installer = false;
    std::string executablePath;
    std::string temporaryDirectory;
    int64_t unextractedPosition = -1;
    std::string path;                 // the PATH value for java.library.path
    bool manpathSet = false;          // the environment variable MANPATH is set
    uint32_t consoleCodePage = 0;
};

// The longest "-Djava.library.path=" option; a longer PATH is cut.
constexpr size_t kLibraryPathOptionLimit = 12000;

// The property options in their fixed order; they open the option list.
std::vector<std::string> launcherPropertyOptions(const LauncherProperties& properties);

// ---- Locale ----------------------------------------------------------------------------------

// The prefix of the locale switch handed to the VM.
extern const char16_t kLocaleSwitchPrefix[];  // "-Dsun.locale.formatasdefault="

// Index of the last argument (from index 1) starting with the locale switch; -1 when none.
int lastLocaleSwitch(const std::vector<std::u16string>& arguments);

// ---- Stack size ------------------------------------------------------------------------------

// The stack size of the VM thread from the "-Xss" options: the last positive value (decimal with
// an optional K, M, G or T unit), 0 when there is none, at least 65536 otherwise.
uint64_t stackSizeFromOptions(const std::vector<std::string>& options);

// ---- Arguments of main -----------------------------------------------------------------------

// Everything buildMainArguments needs, already expanded and resolved.
struct MainArgumentInputs {
    int32_t launcherType = 0;                // config key 107
    std::u16string mainClass;                // config key 122
    bool mainFromModulePath = false;         // config key 133
    std::u16string errorFile;                // empty when not redirected
    std::u16string outputFile;               // empty when not redirected
    bool appendRedirection = false;          // config key 106
    std::vector<std::u16string> arguments;   // the command line; element 0 the program
    std::vector<std::u16string> configured;  // config key 124 split like a command line
    bool javaOptionArguments = false;        // config key 125: "-J" arguments are the VM's
};

// The argument array of main: launcher type flag, main class, error and output files, append
// flag, the program, the configured arguments, then the command-line arguments from the second
// on without "-J" ones (with config key 125) and without the locale switch.
std::vector<std::u16string> mainArguments(const MainArgumentInputs& inputs);
