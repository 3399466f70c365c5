#include "windows/base/path_forms.h"
#include "windows/vm_options.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "core/command_line.h"
#include "core/config_keys.h"
#include "core/path_rules.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/extraction.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/single_instance.h"
#include "windows/temp_dirs.h"
#include "windows/variables.h"
#include "windows/base/wide_text.h"

namespace {

constexpr size_t kOptionTextLimit = 6000;  // configured option and argument texts

bool startsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

std::vector<std::wstring> splitArguments(const std::wstring& text)
{
    std::vector<std::u16string> parts;
    splitCommandLine(toU16(text), parts, false);
    std::vector<std::wstring> result;
    for (const std::u16string& part : parts) result.push_back(toWide(part));
    return result;
}

std::string environmentNarrow(const char* name, bool* defined = nullptr)
{
    ::SetLastError(ERROR_SUCCESS);
    DWORD length = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (defined) *defined = length > 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (length == 0) return {};
    std::string value(length, '\0');
    length = ::GetEnvironmentVariableA(name, value.data(), length);
    value.resize(length < value.size() ? length : 0);
    return value;
}

std::wstring directoryOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// A relative path joined to directory (which ends with a separator), then made full.
std::wstring absoluteAgainst(const std::wstring& path, const std::wstring& directory)
{
    return fullPathWide(isAbsolutePath(toU16(path)) ? path : directory + path);
}

bool sameFile(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::string withoutTrailingSeparator(std::string path)
{
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

bool hasExtension(const char* name, const char* extension)
{
    size_t nameLength = strlen(name), extensionLength = strlen(extension);
    return nameLength > extensionLength + 1 && name[nameLength - extensionLength - 1] == '.' &&
           _stricmp(name + nameLength - extensionLength, extension) == 0;
}

// Handles each argument as an option line (an "-include-options" argument takes the next one).
void addArgumentLines(const std::vector<std::wstring>& arguments, OptionTargets& targets)
{
    std::vector<std::u16string> wide;
    for (const std::wstring& argument : arguments) wide.push_back(toU16(argument));
    for (const std::u16string& line : joinIncludeOptions(wide)) addOptionLine(nullptr, toWide(line), targets);
}

std::wstring configWide(int32_t key)
{
    std::wstring text(kOptionTextLimit + 1, L'\0');
    text.resize(configWString(key, text.data(), text.size()));
    return text;
}

void addConfiguredOptions(OptionTargets& targets)
{
    std::wstring options = configWide(keys::kVmOptions);
    if (options.empty()) return;
    options = expandVariables(options, true);
    logInfo(L"adding options");
    addArgumentLines(splitArguments(options), targets);
}

void addVersionSpecificOptions(const LoadedJvm& jvm, OptionTargets& targets)
{
    int32_t groups = configInt(keys::kVersionGroupCount);
    if (groups <= 0) return;
    logInfo(L"check %d version specific vm option lines for %S", groups, jvm.version.c_str());
    int32_t major = javaMajorVersion(jvm.version);
    for (int32_t i = 0; i < groups; ++i) {
        std::string condition = configStringDup(keys::versionGroupRange(i));
        VersionCondition result = evaluateVersionCondition(condition, jvm.version, major);
        if (result.kind == VersionCondition::Kind::Range)
            logInfo(L"checking min %d max %d with %d", result.min, result.max, major);
        else if (result.kind == VersionCondition::Kind::MissingDash)
            logError(L"expected dash");
        logInfo(L"checking version %S %d", condition.c_str(), result.matches ? 1 : 0);
        if (!result.matches) continue;
        std::wstring options = configWide(keys::versionGroupOptions(i));
        logInfo(L"adding specific %s", options.c_str());
        addArgumentLines(splitArguments(expandVariables(options, true)), targets);
        return;
    }
}

void addLocaleOptions(const std::vector<std::wstring>& arguments, OptionTargets& targets)
{
    std::vector<std::u16string> wide;
    for (const std::wstring& argument : arguments) wide.push_back(toU16(argument));
    int index = lastLocaleSwitch(wide);
    if (index >= 0) addOptionLine(nullptr, arguments[static_cast<size_t>(index)], targets);
    bool formatAsDefault = index >= 0 && arguments[static_cast<size_t>(index)] == L"-Dsun.locale.formatasdefault=true";
    if (formatAsDefault) return;
    std::string language = userLanguage();
    std::string country = userCountry();
    if (!language.empty()) targets.options->push_back("-Duser.language=" + language);
    if (!country.empty()) targets.options->push_back("-Duser.country=" + country);
}

// The .vmoptions file beside the executable: "<name>.vmoptions" first, then "<name>.exe.vmoptions".
void addDefaultOptionsFile(OptionTargets& targets)
{
    const std::wstring includeBase = executablePathWide();
    for (const std::wstring& executable : {executablePathWide(), moduleFileName()}) {
        if (executable.size() > 4) {
            std::wstring file = executable.substr(0, executable.size() - 4) + L".vmoptions";
            bool opened = readOptionsFile(file, includeBase, targets);
            logInfo(L"vmoptions2: exe %s file: %s, file: %p", executable.c_str(), file.c_str(),
                    reinterpret_cast<void*>(static_cast<INT_PTR>(opened)));
            if (opened) {
                logInfo(L"default vmoptions file: %p", reinterpret_cast<void*>(1));
                return;
            }
        }
        std::wstring file = executable + L".vmoptions";
        bool opened = readOptionsFile(file, includeBase, targets);
        logInfo(L"vmoptions: opts2: %s, file: %p", file.c_str(), reinterpret_cast<void*>(static_cast<INT_PTR>(opened)));
        if (opened) {
            logInfo(L"default vmoptions file: %p", reinterpret_cast<void*>(1));
            return;
        }
    }
    logInfo(L"default vmoptions file: %p", nullptr);
}

void addJavaOptionArguments(const std::vector<std::wstring>& arguments, OptionTargets& targets)
{
    for (size_t i = 1; i < arguments.size(); ++i)
        if (startsWith(arguments[i], L"-J")) addOptionLine(nullptr, arguments[i].substr(2), targets);
}

void fillInitArgs(VmOptions& out)
{
    out.table.clear();
    for (std::string& option : out.options) out.table.push_back(JavaVMOption{option.data(), nullptr});
    out.initArgs.version = JNI_VERSION_1_2;
    out.initArgs.nOptions = static_cast<jint>(out.table.size());
    out.initArgs.options = out.table.data();
    out.initArgs.ignoreUnrecognized = JNI_TRUE;
}

// The list that jli.dll's JLI_PreprocessArg returns.
struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};
using JliInitArgProcessingFn = void(JNICALL*)(jboolean hasJavaArgs, jboolean disableArgFile);
using JliPreprocessArgFn = JliList*(JNICALL*)(const char* argument, jboolean expandSourceOption);
using JliMemFreeFn = void(JNICALL*)(void* pointer);

}  // namespace

LauncherProperties currentLauncherProperties()
{
    const LauncherState& state = launcherState();
    LauncherProperties properties;
    properties.semaphoreName = instanceSemaphoreName();
    properties.manualJre = state.manualJre;
    properties.installer = configStringDup(keys::kProductKind).rfind('i', 0) == 0;
    properties.executablePath = executablePathNarrow();
    properties.temporaryDirectory = temporaryDirectoryName();
    // A language restart that found its files extracted has no position of its own.
    properties.unextractedPosition =
        completeLanguageRestart() ? -1 : static_cast<int64_t>(unextractedPosition());
    properties.path = environmentNarrow("PATH");
    environmentNarrow("MANPATH", &properties.manpathSet);
    properties.consoleCodePage = ::GetConsoleOutputCP();
    return properties;
}

void addOptionLine(const std::wstring* includingFile, const std::wstring& line, OptionTargets& targets)
{
    std::u16string value;
    switch (classifyOptionLine(toU16(line), value)) {
    case OptionLineKind::IncludeOptions: {
        std::wstring path = expandVariables(toWide(value), false);
        logInfo(L"after exp from %s %s", toWide(value).c_str(), path.c_str());
        std::wstring base = includingFile ? *includingFile : executablePathWide();
        std::wstring absolute = absoluteAgainst(path, directoryOf(base));
        readOptionsFile(absolute, absolute, targets);
        break;
    }
    case OptionLineKind::ClassPath:
        targets.overrides->hasReplacement = true;
        targets.overrides->replacement = wideToNarrow(toWide(value));
        break;
    case OptionLineKind::ClassPathPrepend:
        targets.overrides->hasPrepend = true;
        targets.overrides->prepend = wideToNarrow(toWide(value));
        break;
    case OptionLineKind::ClassPathAppend:
        targets.overrides->hasAppend = true;
        targets.overrides->append = wideToNarrow(toWide(value));
        break;
    case OptionLineKind::Option:
        targets.options->push_back(wideToNarrow(line));
        break;
    }
}

bool readOptionsFile(const std::wstring& path, const std::wstring& includeBase, OptionTargets& targets)
{
    // A file that includes itself, directly or through others, would never finish.
    for (const std::wstring& open : targets.openFiles) {
        if (sameFile(open, path)) {
            logError(L"options file %s includes itself", path.c_str());
            return false;
        }
    }
    unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    logInfo(L"adding vmoptions from (%p) <%s> (%s)", file.get(), path.c_str(), includeBase.c_str());
    std::string content;
    char buffer[16384];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    file.reset();
    logInfo(L"adding vmoptions 2");
    targets.openFiles.push_back(path);
    for (const std::string& line : optionsFileLines(content))
        addOptionLine(&includeBase, expandVariables(narrowToWide(line), true), targets);
    targets.openFiles.pop_back();
    logInfo(L"adding vmoptions 3");
    return true;
}

void appendArchivesOf(const std::string& directory, std::string& target)
{
    std::string base = withoutTrailingSeparator(directory);
    for (const char* extension : {"jar", "zip"}) {
        WIN32_FIND_DATAA found;
        unique_find search(::FindFirstFileA((base + "\\*." + extension).c_str(), &found));
        if (!search) continue;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
            // The pattern also matches longer extensions through 8.3 names: check the real one.
            if (!hasExtension(found.cFileName, extension)) continue;
            target += base + "\\" + found.cFileName + ";";
        } while (::FindNextFileA(search.get(), &found));
    }
}

void addPathEntries(int32_t key, std::string& accumulator, bool modulePath)
{
    std::string list = configStringDup(key);
    logInfo(L"entry %S", list.c_str());
    std::vector<PathEntry> entries = parsePathEntries(list);
    logInfo(L"entries %d", static_cast<int>(entries.size()));
    for (const PathEntry& entry : entries) {
        std::string argument = expandVariablesNarrow(entry.argument);
        switch (entry.type) {
        case 'A':
        case 'D':
            for (const std::string& part : splitPathList(argument)) {
                std::string absolute = resolvePathNarrow(part);
                if (entry.required && !pathExists(absolute)) fatalNarrow(messages::kFileNotFound, argument.c_str());
                accumulator += absolute + ";";
            }
            break;
        case 'E': {
            bool defined = false;
            std::string value = environmentNarrow(argument.c_str(), &defined);
            if (!defined) {
                if (entry.required) fatalNarrow(messages::kVariableMustBeDefined, argument.c_str());
                break;
            }
            accumulator += environmentPathPart(value);
            break;
        }
        case 'S': {
            std::string directory = resolvePathNarrow(argument);
            if (!directoryExists(directory)) {
                if (entry.required) fatalNarrow(messages::kFileNotFound, argument.c_str());
                if (!modulePath) break;
            }
            if (modulePath)
                accumulator += withoutTrailingSeparator(directory) + ";";
            else
                appendArchivesOf(directory, accumulator);
            break;
        }
        default:
            break;
        }
    }
}

void expandArgumentFiles(std::vector<std::string>& options, const std::string& binDirectory)
{
    size_t count = static_cast<size_t>(
        std::count_if(options.begin(), options.end(), [](const std::string& o) { return !o.empty() && o[0] == '@'; }));
    if (count == 0 || binDirectory.empty()) return;
    logInfo(L"@ argument found %d %S", static_cast<int>(count), binDirectory.c_str());
    std::string library = binDirectory + "\\jli.dll";
    unique_module jli(::LoadLibraryA(library.c_str()));
    if (!jli) {
        logInfo(L"did not find %S", library.c_str());
        return;
    }
    auto init = boundFunction<JliInitArgProcessingFn>(jli.get(), "JLI_InitArgProcessing");
    auto preprocess = boundFunction<JliPreprocessArgFn>(jli.get(), "JLI_PreprocessArg");
    auto memFree = boundFunction<JliMemFreeFn>(jli.get(), "JLI_MemFree");
    if (!init || !preprocess || !memFree) {
        logInfo(L"did not find all list functions %p %p %p", init, preprocess, memFree);
        return;
    }
    init(options.empty() ? JNI_FALSE : JNI_TRUE, JNI_FALSE);
    std::vector<std::string> expanded;
    for (const std::string& option : options) {
        JliList* list = preprocess(option.c_str(), JNI_TRUE);
        if (list == nullptr) {
            expanded.push_back(option);
            continue;
        }
        for (size_t i = 0; i < list->size; ++i)
            if (list->elements[i] != nullptr) expanded.emplace_back(list->elements[i]);
        memFree(list->elements);
        memFree(list);
    }
    options = std::move(expanded);
    joinModuleOptions(options);
    // The library stays loaded: strings it handed out may be referenced by later calls into it.
    jli.release();
}

void buildVmOptions(const LauncherProperties& properties, const std::vector<std::wstring>& arguments,
                    const LoadedJvm& jvm, VmOptions& out)
{
    out.options = launcherPropertyOptions(properties);
    ClassPathOverrides overrides;
    OptionTargets targets;
    targets.options = &out.options;
    targets.overrides = &overrides;

    addConfiguredOptions(targets);
    addVersionSpecificOptions(jvm, targets);
    addLocaleOptions(arguments, targets);
    if (configFlag(keys::kReadDefaultVmOptions)) addDefaultOptionsFile(targets);
    if (configFlag(keys::kJavaOptionArguments)) addJavaOptionArguments(arguments, targets);

    std::string classPath = "-Djava.class.path=";
    std::string modulePath;
    logInfo(L"adding preconfigured modulepath");
    addPathEntries(keys::kModulePath, modulePath, true);
    bool fromModulePath = configFlag(keys::kMainFromModulePath);
    bool archivesToModulePath = !modulePath.empty() || fromModulePath;
    if (overrides.hasPrepend) classPath += overrides.prepend + ";";
    std::string temporaryDirectory = temporaryDirectoryName();
    if (!temporaryDirectory.empty() && directoryExists(temporaryDirectory))
        appendArchivesOf(temporaryDirectory, archivesToModulePath ? modulePath : classPath);
    if (overrides.hasReplacement) {
        classPath += overrides.replacement;
    } else {
        logInfo(L"adding preconfigured classpath");
        addPathEntries(keys::kClassPath, classPath, false);
    }
    if (overrides.hasAppend) appendToClassPath(classPath, overrides.append);
    out.options.push_back(classPath);
    for (std::string& option :
         modulePathOptions(modulePath, configStringDup(keys::kMainClass), fromModulePath, properties.installer))
        out.options.push_back(std::move(option));

    joinModuleOptions(out.options);
    expandArgumentFiles(out.options, jvm.binDirectory);
    removeEmptyOptions(out.options);

    logInfo(L"vmoption count %d", static_cast<int>(out.options.size()));
    for (size_t i = 0; i < out.options.size(); ++i)
        logInfo(L"vmoption %d: %S", static_cast<int>(i), out.options[i].c_str());
    fillInitArgs(out);
}
