// The executable's own path, the user temp directory and this run's extraction directory.
// Every path is kept wide and narrow (ANSI code page): some consumers take narrow paths only.
#pragma once

#include <string>

// The long path of the running executable, wide and narrow (computed once).
const std::wstring& executablePathWide();
const std::string& executablePathNarrow();
// The executable's directory with a trailing backslash.
const std::wstring& executableDirectoryWide();
const std::string& executableDirectoryNarrow();

// The manual temporary directory if set, else the user temp directory (chosen on first use).
// The wide form yields an empty path when none is usable, unless failIfNone (then message 1015).
std::wstring userTempDirectoryWide(bool failIfNone);
// The narrow form; none usable ends the process with message 1015.
std::string userTempDirectoryNarrow();

// Whether path is a usable directory in its narrow form: creatable probe directory, and (when
// checkLongForm) a long form the code page can show; with switchToLongForm path becomes that form.
bool usableDirectoryNarrow(std::string& path, bool createFirst, bool checkLongForm, bool switchToLongForm);
// Whether path is usable in its wide form: folds to precomposed characters unchanged, probe works.
bool usableDirectoryWide(const std::wstring& path, bool createFirst, bool checkLongForm);

// Makes a usable "-temp" directory replace the user temp directory everywhere.
void setManualTemporaryDirectory(const std::wstring& wide, const std::string& narrow);
bool manualTemporaryDirectorySet();

// This run's extraction directory (narrow), empty when none; cleared before start-up configuration.
std::string temporaryDirectoryName();
void clearTemporaryDirectoryName();

// Deletes the contents of directory (and below when recursive), then the directory itself.
// Returns false when anything could not be deleted.
bool deleteTree(const std::string& directory, bool recursive);

// A relative path prefixed with the executable's directory, backslashes collapsed, made full.
std::wstring resolvePath(const std::wstring& path);
// The same for narrow paths, against the narrow directory form.
std::string resolvePathNarrow(const std::string& path);
