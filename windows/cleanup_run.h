// The runs of the executable that clean up after an installer: deletion of leftover files
// ("__stw_windel") and the reboot ("__stw_reboot").
#pragma once

#include <string>

// Deletes what the list file names; returns the exit code of the deletion run.
int runDeletion(const std::wstring& listFile);
// Restarts the machine.
void runReboot();
