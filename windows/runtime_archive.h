// The runtime shipped in the payload (or downloaded) as "jre.tar.gz": untar into "jre" of the
// extraction directory and restore packed jars with the runtime's unpack200 (the work flow then
// loads it).
// The tar subset and its safety rules are core/tar_format.h's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/tar_format.h"
#include "windows/work_progress.h"

// Extracts the gzip-compressed (or plain) tar archive into target, an existing directory; the
// progress runs 100-200 by the uncompressed position over expectedSize (none when 0 or less). Returns Failure for a damaged or unsafe archive (after logging why) and FileNotCreated
// with the entry's name when a file cannot be created. Never ends the process.
TarOutcome untarArchive(const std::wstring& archive, const std::wstring& target, WorkProgress& progress,
                        int64_t expectedSize);
// untarArchive, but an entry that cannot be created ends the process ("Could not open file %S\n").
// Returns false when the archive cannot be opened or is damaged.
bool untarGzip(const std::wstring& archive, const std::wstring& target, WorkProgress& progress, int64_t expectedSize);

// The whole step in the current (extraction) directory: untar "jre.tar.gz" into "jre", delete the
// archive, unpack packed jars when config key 153 is set. A damaged archive ends the process with
// the corruption text.
void unpackIncludedRuntime(WorkProgress& progress);
// Ends the process with the corruption text of a damaged runtime archive (bundled or downloaded).
[[noreturn]] void failCorruptedRuntime();

// Unpacks every "*.jar.pack" without its ".jar" in runtimeDirectory's "lib" and "lib\ext" with the
// runtime's own unpack200. Missing directories are no failure.
void unpackRuntimeJars(const std::string& runtimeDirectory);
// Runs home's "bin\unpack200.exe" on packPath (a ".pack" file) to create packPath without ".pack",
// waits for it and deletes packPath. A missing packPath is only logged; an unpack200 that cannot
// be started ends the process with message 1021.
void unpackPackedJar(const std::string& home, const std::string& packPath);
