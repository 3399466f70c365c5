// Loading a candidate's jvm.dll into this process.
#pragma once

#include <windows.h>

#include <string>

#include "windows/jvm_candidates.h"

// Loads jvm.dll for a java.exe (retrying through "..\jre\bin\java.exe"); null when none loads.
HMODULE loadJvmDll(const std::string& javaExe);

// Accepts a candidate into the result (kind and location) and tries its jvm.dll; true when it
// loaded. A candidate that did not load is noted with the reason.
bool load(const Candidate& candidate, int kind, const std::string& location, SearchResult& result);

// The bin directory of the last jvm.dll that loaded.
const std::string& lastBinDirectory();
