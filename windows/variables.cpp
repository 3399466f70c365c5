#include "windows/variables.h"

#include <windows.h>

#include "core/config_keys.h"
#include "core/expansion.h"
#include "windows/base/wide_text.h"
#include "windows/error_exit.h"
#include "windows/native_log.h"
#include "windows/temp_dirs.h"

namespace {

std::wstring& jvmHome()
{
    static std::wstring* home = new std::wstring();
    return *home;
}

std::vector<std::pair<std::u16string, std::u16string>> environmentVariables()
{
    std::vector<std::pair<std::u16string, std::u16string>> variables;
    wchar_t* block = ::GetEnvironmentStringsW();
    if (block == nullptr) return variables;
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const wchar_t* equals = wcschr(entry + 1, L'=');  // names of drive variables begin with "="
        if (equals == nullptr || *entry == L'=') continue;
        variables.emplace_back(toU16(std::wstring(entry, equals)), toU16(std::wstring(equals + 1)));
    }
    ::FreeEnvironmentStringsW(block);
    return variables;
}

void reportExpansion(const Variable& variable, const std::u16string& text, void*)
{
    logInfo(L"expanding2 %s to %s in %s.", toWide(variable.name).c_str(), toWide(variable.value).c_str(),
            toWide(text).c_str());
}

std::u16string withoutTrailingBackslash(std::wstring path)
{
    if (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return toU16(path);
}

}  // namespace

void setJvmHome(const std::wstring& home) { jvmHome() = home; }

std::wstring expandVariables(const std::wstring& text, bool ansiUsable)
{
    if (text.find(L'%') == std::wstring::npos && text.find(L"${") == std::wstring::npos) return text;
    LauncherVariables values;
    values.launcherDirectory = withoutTrailingBackslash(
        ansiUsable ? narrowToWide(executableDirectoryNarrow()) : executableDirectoryWide());
    values.temporaryDirectory = toU16(narrowToWide(temporaryDirectoryName()));
    values.jvmHome = toU16(jvmHome());
    // Only asked for when used: choosing the user temp directory may end the process.
    if (text.find(L"${launcher:sys.tempDir}") != std::wstring::npos) {
        std::wstring directory;
        if (ansiUsable) {
            const std::string narrow = userTempDirectoryNarrow();
            if (narrow.empty()) fatalMessage(messages::kPowerUserRequired, nullptr);
            directory = narrowToWide(narrow);
        } else {
            directory = userTempDirectoryWide();
        }
        values.systemTempDirectory = withoutTrailingBackslash(directory);
    }
    values.environment = environmentVariables();
    return toWide(expandVariableTable(toU16(text), variableTable(values), reportExpansion, nullptr));
}

std::string expandVariablesNarrow(const std::string& text)
{
    return wideToNarrow(expandVariables(narrowToWide(text), true), CP_ACP);
}
