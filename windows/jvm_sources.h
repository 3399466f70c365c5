// Where the runtime search finds its candidates: variables, the search path, earlier
// installations, the registry keys of shared, located and vendor runtimes.
#pragma once

#include <windows.h>

#include "windows/jvm_candidates.h"

// The java.exe of the Java home the variable names (read wide).
bool environmentSource(const char* variable, Candidate& candidate);
// The first java.exe on the search path.
bool searchPathSource(Candidate& candidate);
// The runtime of an earlier installation of this application, recorded under root.
bool previousInstallation(HKEY root, Candidate& candidate);
// The search list's Y and V entries: candidates are checked, then loaded best first.
bool registryStep(SearchResult& result);
bool vendorStep(SearchResult& result);
