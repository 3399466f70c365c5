// The candidates of the runtime search and their account: what the search tried, in order, and
// why each was refused; the list the log and console show when no runtime is found.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/jvm_search_rules.h"
#include "windows/java_version.h"

// How a runtime was found; selects the message shown when its jvm.dll does not load.
enum FoundKind : int {
    kFoundNothing = 0,
    kFoundOnSearchPath = 1,
    kFoundAtLocation = 2,     // a directory of the search list or a runtime-location file
    kFoundThroughVariable = 3,
    kFoundInRegistry = 4,     // registry runtimes and earlier installations
};

// The outcome of searchJvm: the loaded module (null when none loaded), the kind and location of
// the last accepted candidate, and the java.exe and version of the loaded one.
struct SearchResult {
    HMODULE module = nullptr;
    int foundKind = kFoundNothing;
    std::string foundLocation;
    std::string javaExe;
    std::string version;
};

// A runtime under test: its java.exe and the version its check found.
struct Candidate {
    std::string javaExe;
    std::string version;
};

// Text conversions of the account, which is kept in UTF-8.
std::string utf8(const std::wstring& text);
std::string utf8FromAnsi(const std::string& ansi);

// Where the candidates checked from now on come from, in UTF-8 (setSource takes ANSI text).
std::string& searchSource();
void setSource(const std::string& ansiLabel);

// Notes a candidate's verdict in the account of this search.
void note(const std::string& path, Refusal reason, const std::string& version = {}, DWORD error = 0);

// checkJavaExe on candidate.javaExe, with its verdict noted.
bool checkCandidate(Candidate& candidate, CheckRules rules);

// locateJavaExe; a JDK that lacks "lib\tools.jar" is noted as missing it.
bool locateCandidate(const std::string& home, std::string& javaExe);

// The form of a path the narrow search can carry (ansiPathForm); a path that has none is noted
// as refused.
bool narrowUsable(const std::wstring& path, std::string& narrow);

// The account of this search, and its clearing at the start of one.
const std::vector<ConsideredCandidate>& searchAccount();
void clearSearchAccount();

// The java.exe of a Java home: "jre\bin\java.exe", or "bin\java.exe" when that does not exist;
// with config key 131 found only when "lib\tools.jar" exists. Returns whether it counts as found.
bool locateJavaExe(const std::string& home, std::string& javaExe);
