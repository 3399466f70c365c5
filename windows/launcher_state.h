// Process-wide start-up state. Written on the main thread during start-up, before any other
// thread exists; read-only afterwards (except where a member says otherwise).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct LauncherState {
    // Run modes and switches.
    bool deletionMode = false;           // raw arguments begin with "__stw_windel"
    bool msiWrapper = false;             // raw arguments begin with "__stw_msi"
    HWND msiWrapperWindow = nullptr;     // the wrapper's progress window
    bool languageRestart = false;        // raw arguments begin with "__stw_lang_restart"
    bool extractOnly = false;            // raw arguments begin with "__stw_extract_and_exit"
    bool quiet = false;                  // "-q", "-c" or a language restart
    bool consoleAttached = false;        // "-console" attached or allocated a console
    bool showProgressWhenQuiet = false;  // "-splash"
    bool integrityCheck = false;         // true after start-up unless "-nocheck"
    bool manualJre = false;              // "-manual" or "/manual"
    bool logRequested = false;           // a create-log switch as the first argument
    bool progressThroughWrapper = false; // msi wrapper, or config key 155
    bool longTempPaths = false;          // config key 10009, copied when the config block is read

    // The argument vector: element 0 is the program name as written on the command line.
    std::vector<std::wstring> arguments;

    HINSTANCE instance = nullptr;        // for dialogs and resources
    bool productTallow = false;          // config key 2001 begins with "e"
};

// The one instance.
LauncherState& launcherState();

// The product word: "tallow" or "stowline" (title of the launcher's own message boxes).
const wchar_t* productWord();
const char* productWordNarrow();
