// The installer work flow: integrity check, extraction, the choice of a Java runtime, unpacking,
// the Java-window watcher and the launch of the VM, and the registry flags that tell a later run
// how far this one got.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Runs the work flow for the flags of this start: quiet on this thread ("Quiet installer."), on
// this thread with the wrapper's window, or behind the modal progress dialog whose worker thread
// runs it. A cancelled dialog ends the process with 0 after removing the extraction directory.
void dispatchWorkFlow();

// The work flow, on the calling thread; window (may be null) shows the progress. Returns 0 once the
// Java program's main has returned; every failure ends the process.
int runInstaller(HWND window);

// Loads the runtime in "jre" of the current directory, else any runtime the search finds; when
// neither loads, ends the process (message 1015 after a relaxed temp directory, else the
// "Could not use bundled JRE" text).
void loadIncludedRuntime();

// Where the Java-window watcher starts on the bar: 300 for an included packed runtime, 200 for an
// included one, 100 without.
int waitStartPosition(bool runtimeIncluded, bool runtimePacked);

// The payload files whose names end in ".pack": names from the ";"-separated list, at most count,
// stopping at the first empty name.
std::vector<std::string> packedPayloadFiles(const std::string& nameList, int count);
