// Whether a path names something on disk, and what. Narrow forms exist for the paths the launcher
// keeps in the ANSI code page (the ones handed to the Java runtime).
#pragma once

#include <string>

// True when path names a file or a directory.
bool pathExists(const std::wstring& path);
bool pathExists(const std::string& path);
// True when path names a file (not a directory).
bool fileExists(const std::wstring& path);
bool fileExists(const std::string& path);
// True when path names a directory.
bool directoryExists(const std::wstring& path);
bool directoryExists(const std::string& path);
