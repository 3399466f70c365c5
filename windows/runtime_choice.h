// Acquiring a runtime when none is usable: the runtime choice dialog lets the user locate a
// java.exe or download one (runtime_download.h), or the download starts without asking.
#pragma once

#include <windows.h>

enum class RuntimeAcquisition {
    None,        // the choice dialog ended otherwise (or could not be shown)
    Downloaded,  // "jre.tar.gz" lies in the extraction directory: unpack it as an included runtime
    Located,     // the user's java.exe was loaded
};

// The acquisition step: downloads without asking when config key 157 is set and "-manual" is
// not, else asks through the runtime choice dialog (owner window). Failed downloads end the process.
RuntimeAcquisition downloadOrLocateRuntime(HWND window);
// What the last downloadOrLocateRuntime achieved (None before the first).
RuntimeAcquisition lastRuntimeAcquisition();

// Asks for a java.exe with the file dialog (title message 20004, owner window) and loads it with
// error messages; records it among the located runtimes. False when cancelled or unusable.
bool locateRuntime(HWND owner);
