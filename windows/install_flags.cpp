#include "windows/install_flags.h"

#include <cstdio>

#include "windows/base/registry.h"
#include "windows/launcher_state.h"

namespace {

constexpr const char* kFlagsKey = "SOFTWARE\\fenmoor\\tallow";
constexpr const char* kGlobalFlag = "InstallStarted";

}  // namespace

std::string installStartedValueName(DWORD processId)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s_%lu", kGlobalFlag, static_cast<unsigned long>(processId));
    return name;
}

void setInstallStarted(bool perProcess, bool global)
{
    if (launcherState().languageRestart || (!perProcess && !global)) return;
    unique_hkey key = createKey(HKEY_CURRENT_USER, kFlagsKey, KEY_ALL_ACCESS);
    if (!key) return;
    if (global) writeDword(key.get(), kGlobalFlag, 1);
    if (perProcess) writeDword(key.get(), installStartedValueName(::GetCurrentProcessId()).c_str(), 1);
}

void clearInstallStarted(bool perProcess, bool global)
{
    if (launcherState().languageRestart || (!perProcess && !global)) return;
    unique_hkey key = openKey(HKEY_CURRENT_USER, kFlagsKey, KEY_ALL_ACCESS);
    if (!key) return;
    if (global) ::RegDeleteValueA(key.get(), kGlobalFlag);
    if (perProcess) ::RegDeleteValueA(key.get(), installStartedValueName(::GetCurrentProcessId()).c_str());
}

DWORD readInstallStarted(bool perProcess)
{
    unique_hkey key = openKey(HKEY_CURRENT_USER, kFlagsKey, KEY_QUERY_VALUE);
    if (!key) return 0;
    const std::string name = perProcess ? installStartedValueName(::GetCurrentProcessId()) : kGlobalFlag;
    return readDword(key.get(), name.c_str()).value_or(0);
}
