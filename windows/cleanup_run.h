// The runs of the executable that clean up after an installer: deletion of leftover files
// ("__stw_windel <list file>") and the reboot ("__stw_reboot").
#pragma once

#include <string>

// The "__stw_windel" run: deletes what the list file names (see core/deletion_list.h), then the
// list file; returns the exit code 0. With deleteOwnExecutable and reboot deletion allowed, the
// executable is scheduled for deletion at the next reboot.
int deleteListed(const std::wstring& listFile, bool deleteOwnExecutable);
// Returns true once no process holds the named semaphore, false when one still does after limitMs.
bool waitForSemaphoreRelease(const std::wstring& name, unsigned long limitMs);
// The "__stw_reboot" run: waits 5 seconds, then reboots; failures are ignored.
void rebootAfterDelay();

// The entry point's names for the two runs.
inline int runDeletion(const std::wstring& listFile) { return deleteListed(listFile, false); }
inline void runReboot() { rebootAfterDelay(); }
