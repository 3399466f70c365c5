// Text rules of the Java runtime search: the search list, which entries the fallback pass retries,
// the order in which registry version names are tried, the VM sub-directories, the paths derived
// from a java.exe and the first line of a runtime-location file. Pure functions over narrow text
// (ANSI code page); the file system and the registry live on the Windows side.
#pragma once

#include <string>
#include <vector>

#include "core/java_version.h"

// One entry of the search list: a type letter and its (unexpanded) argument.
struct SearchEntry {
    char type = 0;
    std::string argument;
};

// Splits the list at ";" into entries; the first empty entry ends the list.
std::vector<SearchEntry> parseSearchList(const std::string& list);

// Absolute for the fallback pass: at least two characters and the second is ":", or it begins
// with "\\".
bool isAbsoluteSearchPath(const std::string& path);

// Whether the fallback pass tries the entry: an A, B or R entry with a relative argument, and
// every B entry.
bool retriedInFallbackPass(const SearchEntry& entry);

// Whether a path starts with a drive ("X:\", also after one leading double quote) or with "\\";
// any other path is taken relative to the launcher's directory.
bool startsWithDriveOrUnc(const std::string& path);

// Keeps the first character and turns every later run of backslashes into one.
std::string collapseBackslashesAfterFirst(const std::string& path);

// The registry version names to try, in order: those that pass the bounds in prefix mode, sorted
// ascending as byte strings ("17" < "9", "1.8" < "1.8.0_172"), then taken from the last to the first.
std::vector<std::string> registryVersionsToTry(std::vector<std::string> names, const VersionList& min,
                                               const VersionList& max);

// The VM sub-directories that hold jvm.dll, in the order tried: the configured one when not
// empty, then "server", "client", "j9vm", "hotspot", "jrockit" (a configured "server" comes twice).
std::vector<std::string> vmSubdirectories(const std::string& configured);

// The directory of a java.exe path without its final separator (empty when there is none).
std::string javaBinDirectory(const std::string& javaExe);

// The JVM home: java.exe's directory with its separator followed by "..".
std::string javaHomeOf(const std::string& javaExe);

// A JDK's runtime below "jre": the path up to and including the separator before the final file
// name, followed by "..\jre\bin\java.exe".
std::string nestedJreJavaExe(const std::string& javaExe);

// The first line of a runtime-location file's content without trailing CR and LF characters, at
// most maxLength characters; empty when the content is empty.
std::string firstLocationLine(const std::string& content, size_t maxLength);

// Whether a shared or located runtime path is considered: paths that contain "stw_jres" need
// admitMarked, all others admitUnmarked.
bool runtimePathAdmitted(const std::string& path, bool admitUnmarked, bool admitMarked);

// The index of the highest version (the first of equal highest ones); versions.size() when empty.
size_t highestVersionIndex(const std::vector<std::string>& versions);
