// The registry flags that tell a later run (and the Java-window watcher) how far this run got:
// "InstallStarted" (global) and "InstallStarted_<pid>" (per process) under
// HKCU\SOFTWARE\fenmoor\tallow. Narrow: the names are plain ASCII.
#pragma once

#include <windows.h>

#include <string>

// Sets the chosen flags to 1, or deletes them. Failures are ignored; in a language restart nothing
// is written or deleted.
void setInstallStarted(bool perProcess, bool global);
void clearInstallStarted(bool perProcess, bool global);
// The value (global or this process's), 0 when the key or value is missing or not a DWORD.
DWORD readInstallStarted(bool perProcess);
// "InstallStarted_<processId>".
std::string installStartedValueName(DWORD processId);
