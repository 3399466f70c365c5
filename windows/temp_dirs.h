// The executable's own path, the user temp directory and this run's extraction directory, as the
// launcher uses them: each is found through launcher_paths, whose notes are logged here.
#pragma once

#include <string>

#include "windows/base/handles.h"

// The long path of the running executable, wide and narrow (computed once, its lines logged then).
// The narrow form ends in ".exe".
const std::wstring& executablePathWide();
const std::string& executablePathNarrow();
// The executable's directory with a trailing backslash.
const std::wstring& executableDirectoryWide();
const std::string& executableDirectoryNarrow();

// The manual temporary directory if set, else the user temp directory (chosen on first use, the
// choice's lines logged then). Empty when none is usable: the narrow form's callers then end the
// process with message 1015, the wide form's carry on without.
std::wstring userTempDirectoryWide();
std::string userTempDirectoryNarrow();

// This run's extraction directory (narrow), empty when none; cleared before start-up configuration.
std::string temporaryDirectoryName();
void clearTemporaryDirectoryName();
// Takes directory as this run's extraction directory (a created, extract-only or restart directory).
void setTemporaryDirectoryName(const std::string& directory);

// Deletes the contents of directory (below subdirectories too when recursive), then the directory
// itself. An empty path or one beginning with "." is refused. Returns false when anything stayed.
bool deleteTree(const std::string& directory, bool recursive);

// A relative path prefixed with the executable's directory (its narrow form widened when
// narrowDirectoryForm), backslashes collapsed, made full.
std::wstring resolvePath(const std::wstring& path, bool narrowDirectoryForm = false);
// The same for narrow paths, against the narrow directory form.
std::string resolvePathNarrow(const std::string& path);

// A file the launcher loads or runs, held while it does. Inside this run's extraction directory
// the file is opened with sharing that keeps it from being written, renamed or deleted while the
// hold lasts, and refused when it, or a directory between it and the extraction directory, is a
// reparse point (a link someone planted). Outside it: no hold, not refused.
struct HeldFile {
    unique_file file;
    bool refused = false;
};
HeldFile holdExtractedFile(const std::wstring& path);
