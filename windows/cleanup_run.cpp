#include "windows/cleanup_run.h"

#include "windows/native_log.h"

// Interim: the deletion and reboot runs arrive with the clean-up work; until then they refuse.
int runDeletion(const std::wstring& listFile)
{
    logError(L"deletion run for %s is not available", listFile.c_str());
    return 1;
}

void runReboot() { logError(L"reboot run is not available"); }
