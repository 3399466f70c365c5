// The executable's own path and the user temp directory, found without logging. The log opens its
// file in the user temp directory, so choosing that directory cannot write log lines: every
// function here hands the lines it has to say to its caller ("notes"), which logs them in order as
// information lines.
//
// Every path is kept wide and narrow (ANSI code page): some consumers (the Java runtime's library
// loading, child command lines) take narrow paths only, so a directory is usable only when both
// forms name it.
#pragma once

#include <string>
#include <vector>

// Lines for the log, in the order they arose.
using PathNotes = std::vector<std::wstring>;

// The long path of the running executable and its directory (with a trailing backslash), wide and
// narrow. The narrow path ends in ".exe": when the long form does not convert it is the short form
// (from the system, from cmd.exe, or of the narrow module name). Computed anew on every call.
struct ExecutablePaths {
    std::wstring pathWide;
    std::string pathNarrow;
    std::wstring directoryWide;
    std::string directoryNarrow;
};
ExecutablePaths findExecutablePaths(PathNotes& notes);

// The short form of path as cmd.exe reports it; empty when cmd.exe fails or names no existing path.
std::string shortPathByShell(const std::wstring& path, PathNotes& notes);

// Whether path is a usable directory in its narrow form: (optionally created first;) with
// checkLongForm, a long form the code page can show, and with switchToLongForm path becomes that
// long form; then a probe directory can be created in it.
bool usableDirectoryNarrow(std::string& path, bool createFirst, bool checkLongForm, bool switchToLongForm,
                           PathNotes& notes);
// Whether path is usable in its wide form: it (and with checkLongForm its long form) folds to
// precomposed characters unchanged, and a probe directory can be created in it.
bool usableDirectoryWide(const std::wstring& path, bool createFirst, bool checkLongForm, PathNotes& notes);

// A base directory in both forms; both empty when there is none.
struct TempDirectoryForms {
    std::wstring wide;
    std::string narrow;
};
// The manual temporary directory if set, else the user temp directory, chosen on the first call
// (long forms switched to when launcherState().longTempPaths is set at that moment); notes receives
// the choice's lines on that call only.
TempDirectoryForms userTempDirectory(PathNotes& notes);
// True when the user temp directory was found only by the relaxed second pass.
bool relaxedTempDirectory();

// Makes a usable "-temp" directory replace the user temp directory everywhere.
void setManualTemporaryDirectory(const std::wstring& wide, const std::string& narrow);
bool manualTemporaryDirectorySet();

// A number from the generator seeded once with process id × time (probe and temp file names).
unsigned probeRandom();
