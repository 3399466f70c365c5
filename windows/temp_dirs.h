// The executable's own path, the user temp directory and this run's extraction directory.
// Every path is kept wide and narrow (ANSI code page): some consumers (the Java runtime's library
// loading, child command lines) take narrow paths only, so a directory is usable only when both
// forms name it.
#pragma once

#include <string>

// The long path of the running executable, wide and narrow (computed once). The narrow form ends
// in ".exe": when the long form does not convert it is the short form (from the system, from
// cmd.exe, or of the narrow module name).
const std::wstring& executablePathWide();
const std::string& executablePathNarrow();
// The executable's directory with a trailing backslash.
const std::wstring& executableDirectoryWide();
const std::string& executableDirectoryNarrow();

// The short form of path as cmd.exe reports it; empty when cmd.exe fails or names no existing path.
std::string shortPathByShell(const std::wstring& path);

// The manual temporary directory if set, else the user temp directory (chosen on first use).
// The wide form yields an empty path when none is usable, unless failIfNone (then message 1015).
std::wstring userTempDirectoryWide(bool failIfNone);
// The narrow form; none usable ends the process with message 1015.
std::string userTempDirectoryNarrow();
// True when the user temp directory was found only by the relaxed second pass.
bool relaxedTempDirectory();

// Whether path is a usable directory in its narrow form: (optionally created first;) with
// checkLongForm, a long form the code page can show, and with switchToLongForm path becomes that
// long form; then a probe directory can be created in it.
bool usableDirectoryNarrow(std::string& path, bool createFirst, bool checkLongForm, bool switchToLongForm);
// Whether path is usable in its wide form: it (and with checkLongForm its long form) folds to
// precomposed characters unchanged, and a probe directory can be created in it.
bool usableDirectoryWide(const std::wstring& path, bool createFirst, bool checkLongForm);

// Makes a usable "-temp" directory replace the user temp directory everywhere.
void setManualTemporaryDirectory(const std::wstring& wide, const std::string& narrow);
bool manualTemporaryDirectorySet();

// Creates this run's extraction directory "<temp file>_dir<seconds>" beside an empty "tlw" temp
// file; after 10 failed attempts ends the process with message 1009 and "7".
void createTemporaryDirectory();
// This run's extraction directory (narrow), empty when none; cleared before start-up configuration.
std::string temporaryDirectoryName();
void clearTemporaryDirectoryName();
// Takes directory as this run's extraction directory (an extract-only or restart directory).
void setTemporaryDirectoryName(const std::string& directory);

// Deletes the contents of directory (below subdirectories too when recursive), then the directory
// itself. An empty path or one beginning with "." is refused. Returns false when anything stayed.
bool deleteTree(const std::string& directory, bool recursive);

// A relative path prefixed with the executable's directory (its narrow form widened when
// narrowDirectoryForm), backslashes collapsed, made full.
std::wstring resolvePath(const std::wstring& path, bool narrowDirectoryForm = false);
// The same for narrow paths, against the narrow directory form.
std::string resolvePathNarrow(const std::string& path);
