// Extraction of the payload's included files into this run's extraction directory.
//
//   payload (from the payload start, in the order of the included file names):
//     per file:  i64 length (little-endian; 0 or less: an empty file that is not created)
//                length bytes, each XOR 0xA7
//     then:      data the Java side reads itself, from the unextracted position on
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "windows/work_progress.h"

// Results of an extraction.
constexpr int kExtractionDone = 0;
constexpr int kExtractionReadFailed = 1;   // the payload ended early, could not be read, or named a file outside
constexpr int kExtractionWriteFailed = 2;  // a target could not be written (disk full, read-only)

// Creates this run's extraction directory "<temp file>_dir<seconds>" beside an empty temp file
// "tlw<16 random hex digits>.tmp" in the user temp directory, private to this process's user (to
// SYSTEM and Administrators only when elevated) and labelled with the process's integrity level;
// no user temp directory ends the process with message 1015, 10 failed attempts with message 1009
// and "7".
void createTemporaryDirectory();

// Extracts the included files (config keys 2002 and 2003) from the executable into the
// extraction directory, creating that directory first when asked. Returns a result above; a
// target that cannot be created for another reason ends the process with message 1009 and "11".
int extractIncludedFiles(bool createDirectoryFirst, WorkProgress& progress);

// The same over any file: the payload of source starting at payloadOffset, the names of nameList
// (';'-separated, at most count), into directory. *unextracted receives the offset after the last
// extracted file when the result is kExtractionDone. A reparse point at a target or its directory
// is never written through; with refuseExisting (a directory this run created) any entry this
// extraction did not make is refused too. Both end the process with message 1009 and "11".
// A Cancel reported by progress stops it before its next read.
int extractPayloadFiles(HANDLE source, uint64_t payloadOffset, const std::wstring& directory,
                        const std::string& nameList, int64_t count, uint64_t* unextracted,
                        bool refuseExisting = false, WorkProgress& progress = quietProgress());

// File offset just after the last included file (0 before extraction); handed to the Java side as
// "tallow.unextractedPosition".
uint64_t unextractedPosition();

// The work flow's extraction step: the extraction directory (a fresh one, the ".test" directory of
// an extract-only run, or the current directory of a language restart that finds its files), the
// native library directories on PATH, the current directory, then the payload files. A failed
// extraction is reported in a message over the progress and ends the process.
void runExtractionStep(WorkProgress& progress);
// True when a language restart found a complete extraction directory (nothing was extracted).
bool completeLanguageRestart();
